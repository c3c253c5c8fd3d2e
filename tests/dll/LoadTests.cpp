// Loading and releasing the plug-in: the tuner it takes, the single instance,
// the load failures, and what the built DLL carries.
#include <string.h>

#include <atomic>
#include <thread>

#include "tests/dll/PluginTest.h"

namespace {

const std::string kSatelliteLnbSettings = "[SET]\r\nOutLNB=1\r\n";

}  // namespace

class LoadTest : public PluginTest
{
};

TEST_F(LoadTest, TakesTheFirstTerrestrialTunerAndClosesItOnceAtRelease)
{
    Plugin plugin(folder.AddPlugin(L"Zendrel.dll"));
    ASSERT_TRUE(plugin.Load());
    Driver driver = plugin.driver();
    ASSERT_NE(driver.self, nullptr);
    EXPECT_STREQ(driver.GetTunerName(), L"Ec1Bt1");
    EXPECT_EQ(Tuner(L"Ec1Bt1").open, 1);
    std::vector<std::string> log = Log();
    ASSERT_GE(log.size(), 3u);
    EXPECT_EQ(log[0], "PtDllGetDevCount() = 1");
    EXPECT_EQ(log[1], "GetDllVersion() = 1");
    EXPECT_EQ(log[2], "PtDllOpen(Ec1Bt1) = 256");

    EXPECT_EQ(plugin.CreateBonDriver(), driver.self) << "one instance, handed out again";
    plugin.ReleaseAndUnload();
    EXPECT_EQ(Tuner(L"Ec1Bt1").open, 0);
    EXPECT_EQ(CallsTo(Log(), "PtDllClose("), std::vector<std::string>{"PtDllClose(256) = 0"});
}

TEST_F(LoadTest, ReleaseLeavesNoInstanceAndUnloadDoesNotReleaseAgain)
{
    Plugin plugin(folder.AddPlugin(L"Zendrel-T.dll"));
    ASSERT_TRUE(plugin.Load());
    plugin.driver().Release();
    EXPECT_EQ(plugin.CreateBonDriver(), nullptr);
    plugin.Unload();
    EXPECT_EQ(CallsTo(Log(), "PtDllClose(").size(), 1u);
}

TEST_F(LoadTest, UnloadWithoutReleaseClosesTheTuner)
{
    Plugin plugin(folder.AddPlugin(L"Zendrel-T.dll"));
    ASSERT_TRUE(plugin.Load());
    plugin.Unload();
    EXPECT_EQ(Tuner(L"Ec1Bt1").open, 0);
    EXPECT_EQ(CallsTo(Log(), "PtDllClose(").size(), 1u);
}

TEST_F(LoadTest, FailsWithoutBoardsBeforeAnyOpen)
{
    ept->EptSimSetBoardCount(0);
    Plugin plugin(folder.AddPlugin(L"Zendrel-T.dll"));
    EXPECT_FALSE(plugin.Load());
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DLL_INIT_FAILED));
    EXPECT_TRUE(CallsTo(Log(), "PtDllOpen(").empty());
    EXPECT_EQ(folder.List().size(), 1u) << "no side file is written after a failed load";
}

TEST_F(LoadTest, VersionMismatchShowsOneBoxPerAttemptAndOpensNothing)
{
    ept->EptSimSetBoardCount(2);
    ept->EptSimSetVersion(2);
    Plugin plugin(folder.AddPlugin(L"Zendrel-T.dll"));
    EXPECT_FALSE(plugin.Load());
    std::vector<std::string> log = Log();
    EXPECT_TRUE(CallsTo(log, "PtDllOpen(").empty());
    EXPECT_EQ(CallsTo(log, "GetDllVersion(").size(), 4u);
    const MessageBoxRecord& boxes = MessageBoxes();
    EXPECT_EQ(boxes.count, 4);
    // DLLのバージョンが不一致です！
    EXPECT_EQ(boxes.text, L"DLL\u306E\u30D0\u30FC\u30B8\u30E7\u30F3\u304C\u4E0D\u4E00\u81F4\u3067\u3059\uFF01");
    EXPECT_EQ(boxes.owner, nullptr);
    EXPECT_TRUE(boxes.captionNull);
    EXPECT_EQ(boxes.type, static_cast<UINT>(MB_OK));
}

TEST_F(LoadTest, FailsWhenNoTunerOfTheKindOpens)
{
    ept->EptSimRefuseTuner(L"Ec1Bs1", 1);
    ept->EptSimRefuseTuner(L"Ec1Bs2", 1);
    Plugin plugin(folder.AddPlugin(L"Zendrel-S.dll"));
    EXPECT_FALSE(plugin.Load());
    EXPECT_EQ(CallsTo(Log(), "PtDllOpen("),
              (std::vector<std::string>{"PtDllOpen(Ec1Bs1) = -1", "PtDllOpen(Ec1Bs2) = -1"}));
    EXPECT_EQ(MessageBoxes().count, 0);
}

TEST_F(LoadTest, FailureAfterTheOpenClosesTheTunerAgain)
{
    // An empty channel file declares no tuning space, which fails the load
    // after the tuner has been opened.
    folder.Write(L"Zendrel-T.SetCh.txt", "");
    Plugin plugin(folder.AddPlugin(L"Zendrel-T.dll"));
    EXPECT_FALSE(plugin.Load());
    std::vector<std::string> log = Log();
    EXPECT_EQ(CallsTo(log, "PtDllOpen("), std::vector<std::string>{"PtDllOpen(Ec1Bt1) = 256"});
    EXPECT_EQ(CallsTo(log, "PtDllClose("), std::vector<std::string>{"PtDllClose(256) = 0"});
    EXPECT_EQ(Tuner(L"Ec1Bt1").open, 0);
}

TEST_F(LoadTest, SearchTakesTheNextFreeTunerBoardByBoard)
{
    ept->EptSimSetBoardCount(2);
    ept->EptSimRefuseTuner(L"Ec1Bt1", 1);
    {
        Plugin plugin(folder.AddPlugin(L"Zendrel-T.dll"));
        ASSERT_TRUE(plugin.Load());
        EXPECT_STREQ(plugin.driver().GetTunerName(), L"Ec1Bt2");
        plugin.ReleaseAndUnload();
    }
    ept->EptSimRefuseTuner(L"Ec1Bt2", 1);
    Plugin plugin(folder.AddPlugin(L"Zendrel-T.dll"));
    ASSERT_TRUE(plugin.Load());
    EXPECT_STREQ(plugin.driver().GetTunerName(), L"Ec2Bt1");
}

TEST_F(LoadTest, CopiesInOneProcessTakeDifferentTuners)
{
    Folder other;
    Plugin first(folder.AddPlugin(L"Zendrel-T.dll"));
    Plugin second(other.AddPlugin(L"Zendrel-T.dll"));
    ASSERT_TRUE(first.Load());
    ASSERT_TRUE(second.Load());
    EXPECT_STREQ(first.driver().GetTunerName(), L"Ec1Bt1");
    EXPECT_STREQ(second.driver().GetTunerName(), L"Ec1Bt2");
    Plugin third(folder.AddPlugin(L"ZendrelT.dll"));
    EXPECT_FALSE(third.Load()) << "one board has two terrestrial tuners";
}

TEST_F(LoadTest, TunerDigitPicksBoardAndTunerWithoutSearching)
{
    ept->EptSimSetBoardCount(2);
    {
        Plugin plugin(folder.AddPlugin(L"Zendrel-T5.dll"));
        EXPECT_FALSE(plugin.Load()) << "tuner 5 is on a third board";
        EXPECT_TRUE(CallsTo(Log(), "PtDllOpen(").empty());
    }
    {
        ept->EptSimRefuseTuner(L"Ec1Bt1", 1);
        Plugin plugin(folder.AddPlugin(L"Zendrel-T0.dll"));
        EXPECT_FALSE(plugin.Load()) << "a named tuner that is held is not replaced by another";
    }
    Plugin plugin(folder.AddPlugin(L"Zendrel-T2.dll"));
    ASSERT_TRUE(plugin.Load());
    EXPECT_STREQ(plugin.driver().GetTunerName(), L"Ec2Bt1");
}

// The LNB supply feeds both satellite tuners of a board: it goes on at load
// and off at release only when the partner tuner can be opened, that is, when
// nothing else uses it.
TEST_F(LoadTest, LnbGoesOffOnlyWhenThePartnerTunerIsFree)
{
    folder.Write(L"Zendrel-ST.ini", kSatelliteLnbSettings);
    Folder other;
    other.Write(L"Zendrel-ST.ini", kSatelliteLnbSettings);
    Plugin first(folder.AddPlugin(L"Zendrel-S.dll"));
    Plugin second(other.AddPlugin(L"Zendrel-S.dll"));
    ASSERT_TRUE(first.Load());
    ASSERT_TRUE(second.Load());
    EXPECT_STREQ(second.driver().GetTunerName(), L"Ec1Bs2");
    EXPECT_EQ(CallsTo(Log(), "PtDllSetLnbPower("),
              (std::vector<std::string>{"PtDllSetLnbPower(258, 2) = 0", "PtDllSetLnbPower(259, 2) = 0"}));

    ept->EptSimLogClear();
    first.ReleaseAndUnload();
    EXPECT_EQ(CallsTo(Log(), "PtDllOpen("), std::vector<std::string>{"PtDllOpen(Ec1Bs2) = -1"});
    EXPECT_EQ(Tuner(L"Ec1Bs2").lnbPower, 2) << "the partner still receives";

    ept->EptSimLogClear();
    second.ReleaseAndUnload();
    EXPECT_EQ(Log(), (std::vector<std::string>{"GetDllVersion() = 1", "PtDllOpen(Ec1Bs1) = 258",
                                               "PtDllSetLnbPower(259, 0) = 0", "PtDllClose(258) = 0",
                                               "PtDllClose(259) = 0"}));
    EXPECT_EQ(Tuner(L"Ec1Bs1").lnbPower, 0);
}

// A host that closes both satellite tuners of a board at once (or two hosts
// stopping together): released on two threads at the same moment, each copy
// used to find the other's tuner still open, and the LNB stayed on. A board
// that takes 5 ms to close a tuner widens that moment, as a busy one does.
TEST_F(LoadTest, LnbGoesOffWhenBothSatelliteCopiesOfABoardAreReleasedAtOnce)
{
    folder.Write(L"Zendrel-ST.ini", kSatelliteLnbSettings);
    Plugin first(folder.AddPlugin(L"Zendrel-S0.dll"));
    Plugin second(folder.AddPlugin(L"Zendrel-S1.dll"));
    ept->EptSimSetLogging(0);
    ept->EptSimSlowCall("PtDllClose", 5, 0);
    int leftOn = 0;
    for (int trial = 0; trial < 50; ++trial) {
        ASSERT_TRUE(first.Load());
        ASSERT_TRUE(second.Load());
        std::atomic<int> ready(0);
        auto release = [&ready](Driver driver) {
            ++ready;
            while (ready.load() < 2)
                ;
            driver.Release();
        };
        std::thread a(release, first.driver());
        std::thread b(release, second.driver());
        a.join();
        b.join();
        first.Unload();
        second.Unload();
        leftOn += Tuner(L"Ec1Bs1").lnbPower != 0 ? 1 : 0;
    }
    EXPECT_EQ(leftOn, 0) << "trials of 50 that left the LNB on";
}

TEST_F(LoadTest, TunerDigitThreeOnSatelliteHasTheFirstTunerOfBoardTwoAsPartner)
{
    ept->EptSimSetBoardCount(2);
    folder.Write(L"Zendrel-ST.ini", kSatelliteLnbSettings);
    Plugin plugin(folder.AddPlugin(L"Zendrel-S3.dll"));
    ASSERT_TRUE(plugin.Load());
    EXPECT_STREQ(plugin.driver().GetTunerName(), L"Ec2Bs2");
    ept->EptSimLogClear();
    plugin.ReleaseAndUnload();
    EXPECT_EQ(CallsTo(Log(), "PtDllOpen("), std::vector<std::string>{"PtDllOpen(Ec2Bs1) = 262"});
}

// A host that loads the plug-in thousands of times pays for whatever runtime
// it carries: a TLS directory runs code on every thread of the host, a
// vectored exception handler sits in front of the host's own, and an atexit
// handler outlives the unloaded DLL.
TEST_F(LoadTest, BuiltDllIsPe32ExportingOnlyCreateBonDriverAndImportingSystemDllsAndTheBoard)
{
    Plugin plugin(folder.AddPlugin(L"Zendrel.dll"));
    ASSERT_TRUE(plugin.Load());
    const BYTE* base = reinterpret_cast<const BYTE*>(plugin.module());
    const IMAGE_NT_HEADERS32* nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(
        base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
    EXPECT_EQ(nt->FileHeader.Machine, IMAGE_FILE_MACHINE_I386);
    EXPECT_EQ(nt->OptionalHeader.Magic, IMAGE_NT_OPTIONAL_HDR32_MAGIC);
    EXPECT_TRUE(nt->FileHeader.Characteristics & IMAGE_FILE_DLL);

    const IMAGE_DATA_DIRECTORY& exports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    const IMAGE_EXPORT_DIRECTORY* exportDir =
        reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + exports.VirtualAddress);
    ASSERT_EQ(exportDir->NumberOfNames, 1u);
    const DWORD* names = reinterpret_cast<const DWORD*>(base + exportDir->AddressOfNames);
    EXPECT_STREQ(reinterpret_cast<const char*>(base + names[0]), "CreateBonDriver");

    const std::vector<std::string> allowed = {"KERNEL32.DLL", "MSVCRT.DLL", "USER32.DLL", "WINMM.DLL",
                                              "EARTHPTDLL.DLL"};
    const std::vector<std::string> forbidden = {"AddVectoredExceptionHandler", "TlsAlloc", "atexit", "_onexit",
                                                "__dllonexit"};
    const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    bool importsBoard = false;
    for (const IMAGE_IMPORT_DESCRIPTOR* d =
             reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
         d->Name != 0; ++d) {
        std::string name = reinterpret_cast<const char*>(base + d->Name);
        for (char& c : name)
            c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
        EXPECT_NE(std::find(allowed.begin(), allowed.end(), name), allowed.end()) << name;
        importsBoard = importsBoard || name == "EARTHPTDLL.DLL";
        for (const DWORD* thunk = reinterpret_cast<const DWORD*>(base + d->OriginalFirstThunk); *thunk != 0; ++thunk) {
            if (*thunk & IMAGE_ORDINAL_FLAG32)
                continue;
            std::string function = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + *thunk)->Name;
            EXPECT_EQ(std::find(forbidden.begin(), forbidden.end(), function), forbidden.end()) << function;
        }
    }
    EXPECT_TRUE(importsBoard);
    EXPECT_EQ(nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_TLS].VirtualAddress, 0u) << "TLS directory";

    WIN32_FILE_ATTRIBUTE_DATA file = {};
    ASSERT_TRUE(GetFileAttributesExW((BinDirectory() + L"Zendrel.dll").c_str(), GetFileExInfoStandard, &file));
    EXPECT_LT(file.nFileSizeLow, 100u * 1024) << "the shipped DLL is stripped";
}

TEST_F(LoadTest, VersionResourceAndManifest)
{
    std::wstring path = BinDirectory() + L"Zendrel.dll";
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    ASSERT_GT(size, 0u);
    std::vector<BYTE> info(size);
    ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, info.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00000002u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0x00000001u);
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00000002u);
    EXPECT_EQ(fixed->dwProductVersionLS, 0x00000001u);

    WORD* translation = nullptr;
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation",
                               reinterpret_cast<void**>(&translation), &length));
    EXPECT_EQ(translation[0], 0x0411);
    EXPECT_EQ(translation[1], 932);

    const std::pair<const wchar_t*, const wchar_t*> strings[] = {
        {L"FileDescription", L"Zendrel-T/S.dll"}, {L"Comments", L"Zendrel-T/S.dll"},
        {L"ProductName", L"Zendrel-ST"},          {L"InternalName", L"Zendrel.dll"},
        {L"OriginalFilename", L"Zendrel.dll"},    {L"FileVersion", L"0.2.0.1"},
        {L"ProductVersion", L"0.2.0.1"}};
    for (const auto& s : strings) {
        std::wstring key = std::wstring(L"\\StringFileInfo\\041103a4\\") + s.first;
        wchar_t* value = nullptr;
        ASSERT_TRUE(VerQueryValueW(info.data(), key.c_str(), reinterpret_cast<void**>(&value), &length))
            << "missing " << static_cast<int>(key.size());
        EXPECT_STREQ(value, s.second);
    }

    HMODULE data = LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(data, nullptr);
    HRSRC manifest = FindResourceW(data, MAKEINTRESOURCEW(2), MAKEINTRESOURCEW(24));
    ASSERT_NE(manifest, nullptr);
    std::string text(static_cast<const char*>(LockResource(LoadResource(data, manifest))),
                     SizeofResource(data, manifest));
    EXPECT_NE(text.find("level=\"asInvoker\""), std::string::npos);
    FreeLibrary(data);
}
