// A host that loads and unloads the plug-in again and again in one process (a
// channel scanner, a recorder that reloads per job) must not run out of
// anything: after the first cycles, TLS slots, handles and committed memory
// stay where they are, and every tuner ends closed.
#include <thread>

#include "testsupport/ProcessResources.h"
#include "tests/dll/PluginTest.h"

namespace {

// Each thread cycles its own copy on its own tuner, so that the 60 ms settle
// of each tuning overlaps the others'; 4 boards have 8 terrestrial tuners.
const int kThreads = 8;
const int kWarmUpCycles = 13;  // per thread: about 100 in all
const int kCycles = 250;       // per thread: 2,000 in all
const int kFailingLoads = 200;
// Well below what one cycle leaked when it leaked (a TLS slot, three handles
// and about 19 KB per load), well above the loader's own book-keeping noise.
const int kHandleSlack = 8;
const size_t kMemorySlack = 1024 * 1024;

// One host cycle: load, open, tune, read a little, close, release, unload.
bool HostCycle(const std::wstring& path)
{
    Plugin plugin(path);
    if (!plugin.Load())
        return false;
    Driver driver = plugin.driver();
    bool ok = driver.self != nullptr && driver.OpenTuner() && driver.SetChannel(0, 0);
    for (int i = 0; ok && i < 3; ++i) {
        BYTE buffer[188 * 16];
        DWORD size = sizeof buffer;
        DWORD remain = 0;
        driver.WaitTsStream(20);
        driver.GetTsStream(buffer, &size, &remain);
    }
    if (driver.self != nullptr)
        driver.CloseTuner();
    plugin.ReleaseAndUnload();
    return ok;
}

}  // namespace

class ChurnTest : public PluginTest
{
protected:
    // Runs cycles of every copy, one thread per copy; false if any failed.
    bool RunCycles(const std::vector<std::wstring>& copies, int cycles)
    {
        std::vector<std::thread> threads;
        std::vector<char> ok(copies.size(), 1);
        for (size_t t = 0; t < copies.size(); ++t)
            threads.emplace_back([&, t] {
                for (int i = 0; i < cycles && ok[t]; ++i)
                    ok[t] = HostCycle(copies[t]);
            });
        for (std::thread& thread : threads)
            thread.join();
        return std::find(ok.begin(), ok.end(), 0) == ok.end();
    }

    void ExpectNoGrowth(const ProcessResources& before, const ProcessResources& after)
    {
        EXPECT_EQ(after.tlsSlotsInUse, before.tlsSlotsInUse);
        EXPECT_LE(after.handles, before.handles + kHandleSlack);
        EXPECT_LE(after.committedBytes, before.committedBytes + kMemorySlack);
    }

    void ExpectEveryTunerClosed(int boards)
    {
        for (int board = 1; board <= boards; ++board)
            for (const wchar_t* kind : {L"Bt1", L"Bt2", L"Bs1", L"Bs2"})
                EXPECT_EQ(Tuner((L"Ec" + std::to_wstring(board) + kind).c_str()).open, 0);
    }
};

TEST_F(ChurnTest, TwoThousandHostCyclesKeepNothing)
{
    ept->EptSimSetBoardCount(kThreads / 2);
    ept->EptSimSetLogging(0);
    std::vector<std::unique_ptr<Folder>> folders;
    std::vector<std::wstring> copies;
    for (int t = 0; t < kThreads; ++t) {
        folders.emplace_back(new Folder);
        folders.back()->Write(L"Zendrel-ST.ini", "[SET]\r\nAutoMake=0\r\n");
        copies.push_back(folders.back()->AddPlugin(L"Zendrel-T.dll"));
    }
    ASSERT_TRUE(RunCycles(copies, kWarmUpCycles));
    ProcessResources before = MeasureProcessResources();
    ASSERT_TRUE(RunCycles(copies, kCycles - kWarmUpCycles));
    ExpectNoGrowth(before, MeasureProcessResources());
    ExpectEveryTunerClosed(kThreads / 2);
}

TEST_F(ChurnTest, LoadsFailingAfterTheTunerOpenedKeepNothing)
{
    ept->EptSimSetLogging(0);
    // A channel file that declares no band fails the load after the open.
    folder.Write(L"Zendrel-T.SetCh.txt", "; nothing\r\n");
    std::wstring path = folder.AddPlugin(L"Zendrel-T.dll");
    ProcessResources before = {};
    for (int i = 0; i < kFailingLoads; ++i) {
        if (i == kFailingLoads / 2)
            before = MeasureProcessResources();
        HMODULE module = LoadLibraryW(path.c_str());
        ASSERT_EQ(module, nullptr);
    }
    ExpectNoGrowth(before, MeasureProcessResources());
    ExpectEveryTunerClosed(1);
}
