// A host process that ends while its other threads are inside the plug-in,
// without Release: the process ends, and the plug-in still writes its side
// files, switches the LNB off and frees the tuner.
#include "tests/dll/PluginTest.h"

namespace {

// Runs dying_host with these arguments; its exit code, or kStillRunning
// when it had not ended after ten seconds (a generous bound: what counts is
// that it ends at all), in which case it is ended here.
const DWORD kStillRunning = 0xFFFFFFFF;

DWORD RunDyingHost(const std::wstring& arguments)
{
    std::wstring command = L"\"" + BinDirectory() + L"dying_host.exe\" " + arguments;
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return kStillRunning - 1;
    DWORD code = kStillRunning;
    if (WaitForSingleObject(process.hProcess, 10000) == WAIT_OBJECT_0)
        GetExitCodeProcess(process.hProcess, &code);
    else
        TerminateProcess(process.hProcess, 1);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return code;
}

}  // namespace

class ExitTest : public PluginTest
{
};

TEST_F(ExitTest, AHostThatExitsWhileItsThreadsTuneOrReadEndsAndLeavesItsSideFilesAndTuner)
{
    for (const wchar_t* mode : {L"tune", L"read"}) {
        Folder dir;
        std::wstring plugin = dir.AddPlugin(L"Zendrel-S.dll");
        ASSERT_TRUE(CopyFileW((BinDirectory() + L"standin\\EarthPtDll.dll").c_str(),
                              dir.Path(L"EarthPtDll.dll").c_str(), TRUE));
        dir.Write(L"Zendrel-ST.ini", "[SET]\r\nOutLNB=1\r\n");
        // A stream so fast that the readers are nearly always inside a read.
        dir.Write(L"EarthPtDll-standin.ini", "[board]\r\nsatellite rate = 400000000\r\n");

        EXPECT_EQ(RunDyingHost(std::wstring(mode) + L" \"" + plugin + L"\""), 0u) << mode;
        EXPECT_EQ(dir.Read(L"Zendrel-S.SetCh.txt").size(), 1200u) << mode;
        EptSimTuner tuner = Tuner(L"Ec1Bs1");
        EXPECT_EQ(tuner.open, 0) << mode;
        EXPECT_EQ(tuner.lnbPower, 0) << mode << ": the LNB stayed on";
    }
}
