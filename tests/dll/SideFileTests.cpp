// The side files seen from outside the loaded plug-in: which files it reads
// and writes under which names, what it writes, and that nothing a user made
// or edited is ever written over.
#include <algorithm>

#include "tests/dll/PluginTest.h"

namespace {

// The expected texts are built here from the documented lines, as UTF-16,
// and converted by the platform: nothing is copied from the plug-in.

std::string DefaultSettingsText()
{
    return ToCp932(
        L"[SET]\r\nOutLNB=0\t; LNB\u96FB\u6E90\u4F9B\u7D66(0:\u306A\u3057,1:15V)\r\n"
        L"AutoMake=1\t; \u30C1\u30E3\u30F3\u30CD\u30EB\u8A2D\u5B9A\u30D5\u30A1\u30A4\u30EB\u304C"
        L"\u7121\u3044\u6642\u3001\u81EA\u52D5\u751F\u6210(0:\u7121\u52B9,1:\u6709\u52B9)\r\n");
}

// "; チャンネル名称\tband\tPT-ch"
const wchar_t kColumnHeading[] = L"; \u30C1\u30E3\u30F3\u30CD\u30EB\u540D\u79F0\tband\tPT-ch";
// "不必要なチャンネルはセミコロンで無効にしてください"
const wchar_t kDisableUnneeded[] =
    L"\u4E0D\u5FC5\u8981\u306A\u30C1\u30E3\u30F3\u30CD\u30EB\u306F\u30BB\u30DF\u30B3\u30ED\u30F3"
    L"\u3067\u7121\u52B9\u306B\u3057\u3066\u304F\u3060\u3055\u3044";
// "帯受信、必要なければセミコロンで無効にしてください"
const wchar_t kBandReception[] =
    L"\u5E2F\u53D7\u4FE1\u3001\u5FC5\u8981\u306A\u3051\u308C\u3070\u30BB\u30DF\u30B3\u30ED\u30F3"
    L"\u3067\u7121\u52B9\u306B\u3057\u3066\u304F\u3060\u3055\u3044";

std::string SatelliteListText()
{
    struct Row {
        const wchar_t* name;
        int ptChannel;
        int tsId;
        const wchar_t* remark;
    };
    const Row bs[] = {
        {L"BS1/TS0", 0, 0x4010, L"BS\u671D\u65E51"},
        {L"BS1/TS1", 0, 0x4011, L"BS-TBS"},
        {L"BS3/TS0", 1, 0x4030, L"WOWOW"},
        {L"BS3/TS1", 1, 0x4031, L"BS\u30B8\u30E3\u30D1\u30F3"},
        {L"BS9/TS0", 4, 0x4090, L"BS11"},
        {L"BS9/TS1", 4, 0x4091, L"\u30B9\u30BF\u30FC\u30FB\u30C1\u30E3\u30F3\u30CD\u30EB"},
        {L"BS9/TS2", 4, 0x4092, L"TwelV"},
        {L"BS13/TS0", 6, 0x40d0, L"BS\u65E5\u30C6\u30EC"},
        {L"BS13/TS1", 6, 0x40d1, L"BS\u30D5\u30B8\u30FB181"},
        {L"BS15/TS0", 7, 0x40f1, L"NHK BS1"},
        {L"BS15/TS1", 7, 0x40f2, L"NHK BS\u30D7\u30EC\u30DF\u30A2\u30E0"},
        {L"BS17/TS0", 8, 0x4310, L"\u96E3\u8996\u8074\u5BFE\u7B561"},
        {L"BS17/TS1", 8, 0x4311, L"\u96E3\u8996\u8074\u5BFE\u7B562"},
    };
    const int csTsIds[] = {0x6020, 0x7040, 0x7060, 0x6080, 0x60a0, 0x70c0,
                           0x70e0, 0x7100, 0x7120, 0x7140, 0x7160, 0x7180};
    wchar_t row[128];
    std::wstring text = L"; BS/CS\u30C1\u30E3\u30F3\u30CD\u30EB\u8A2D\u5B9A\u30D5\u30A1\u30A4\u30EB\r\n";
    text += std::wstring(L"$BS\t0\t; BS") + kBandReception + L"\r\n";
    text += std::wstring(L"$CS110\t1\t; CS110") + kBandReception + L"\r\n";
    text += std::wstring(L";[BS\u8A2D\u5B9A]") + kDisableUnneeded + L"\r\n";
    text += std::wstring(kColumnHeading) + L"\tTS-ID\r\n";
    for (int i = 0; i < 13; ++i) {
        swprintf(row, 128, L"%-8ls\t\t0\t%2d\t0x%04x\t; %2d:%ls\r\n", bs[i].name, bs[i].ptChannel,
                 bs[i].tsId, i, bs[i].remark);
        text += row;
    }
    text += std::wstring(L";[CS110\u8A2D\u5B9A]") + kDisableUnneeded + L"\r\n";
    text += std::wstring(kColumnHeading) + L"\tTS-ID\r\n";
    for (int k = 0; k < 12; ++k) {
        wchar_t name[8];
        swprintf(name, 8, L"ND%d", 2 + 2 * k);
        swprintf(row, 128, L"%-8ls\t\t1\t%2d\t0x%04x\t; %2d:\r\n", name, 12 + k, csTsIds[k], k);
        text += row;
    }
    return ToCp932(text);
}

std::string TerrestrialHeader()
{
    std::wstring text = L"; \u5730\u30C7\u30B8UHF/CATV\u30C1\u30E3\u30F3\u30CD\u30EB\u8A2D\u5B9A"
                        L"\u30D5\u30A1\u30A4\u30EB\r\n";
    text += std::wstring(L"$UHF\t0\t; UHF") + kBandReception + L"\r\n";
    text += L";$CATV\t1\t; \u30B1\u30FC\u30D6\u30EB\u30C6\u30EC\u30D3\u53D7\u4FE1\u3001\u5FC5\u8981"
            L"\u306A\u3089\u3070\u30BB\u30DF\u30B3\u30ED\u30F3\u3092\u5916\u3057\u3066\u6709\u52B9"
            L"\u306B\u3057\u3066\u304F\u3060\u3055\u3044\r\n";
    text += L";$VHF\tx\t; \u3053\u306E\u8A2D\u5B9A\u306F\u6A5F\u80FD\u3057\u307E\u305B\u3093\r\n";
    text += std::wstring(L";[UHF\u8A2D\u5B9A]") + kDisableUnneeded + L"\r\n";
    text += std::wstring(kColumnHeading) + L"\r\n";
    return ToCp932(text);
}

std::string CatvHeader()
{
    return ToCp932(std::wstring(L";[CATV\u8A2D\u5B9A]") + kDisableUnneeded + L"\r\n" + kColumnHeading +
                   L"\r\n");
}

// Every channel name the instance lists, space by space: "space/channel=name".
std::vector<std::wstring> Listing(Driver driver)
{
    std::vector<std::wstring> names;
    for (DWORD space = 0; driver.EnumTuningSpace(space) != nullptr; ++space)
        for (DWORD channel = 0; const wchar_t* name = driver.EnumChannelName(space, channel); ++channel)
            names.push_back(std::to_wstring(space) + L"/" + std::to_wstring(channel) + L"=" + name);
    return names;
}

std::vector<std::wstring> Sorted(std::vector<std::wstring> names)
{
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace

class SideFileTest : public PluginTest
{
protected:
    // Loads the plug-in under this name, lists its channels, releases it.
    std::vector<std::wstring> LoadAndRelease(const std::wstring& name, std::wstring* tunerName = nullptr)
    {
        Plugin plugin(folder.AddPlugin(name));
        EXPECT_TRUE(plugin.Load()) << "load failed";
        if (plugin.module() == nullptr)
            return {};
        std::vector<std::wstring> listing = Listing(plugin.driver());
        if (tunerName)
            *tunerName = plugin.driver().GetTunerName();
        plugin.ReleaseAndUnload();
        return listing;
    }
};

TEST_F(SideFileTest, FileNameChoosesKindTunerAndSideFileNames)
{
    struct Case {
        const wchar_t* dll;
        const wchar_t* tuner;
        const wchar_t* settings;
        const wchar_t* channels;
    };
    const Case cases[] = {
        {L"Zendrel-S.dll", L"Ec1Bs1", L"Zendrel-ST.ini", L"Zendrel-S.SetCh.txt"},
        {L"Zendrel-T1.dll", L"Ec1Bt2", L"Zendrel-ST.ini", L"Zendrel-T.SetCh.txt"},
        {L"Zendrel-s0.dll", L"Ec1Bs1", L"Zendrel-ST.ini", L"Zendrel-s.SetCh.txt"},
        {L"Zendrel.dll", L"Ec1Bt1", L"Zendrel-ST.ini", L"Zendrel-T.SetCh.txt"},
        {L"Zendrel-S12.dll", L"Ec2Bt1", L"Zendrel-S1-ST.ini", L"Zendrel-S1-T.SetCh.txt"},
        {L"Zendrel-S.x.dll", L"Ec1Bt1", L"Zendrel-S.x-ST.ini", L"Zendrel-S.x-T.SetCh.txt"},
        {L"S.dll", L"Ec1Bs1", L"ST.ini", L"S.SetCh.txt"},
        {L"Zendrel-T9.ax", L"Ec5Bt2", L"Zendrel-ST.ini", L"Zendrel-T.SetCh.txt"},
    };
    ept->EptSimSetBoardCount(5);
    for (const Case& c : cases) {
        Folder dir;
        Plugin plugin(dir.AddPlugin(c.dll));
        ASSERT_TRUE(plugin.Load()) << static_cast<int>(wcslen(c.dll));
        EXPECT_STREQ(plugin.driver().GetTunerName(), c.tuner);
        plugin.ReleaseAndUnload();
        EXPECT_EQ(Sorted(dir.List()), Sorted({c.dll, c.settings, c.channels}));
    }

    // Loaded by its 8.3 short name, the copy keeps the kind and side files
    // of its long name.
    std::wstring path = folder.AddPlugin(L"Zendrel-S.dll");
    wchar_t shortPath[MAX_PATH];
    DWORD length = GetShortPathNameW(path.c_str(), shortPath, MAX_PATH);
    ASSERT_GT(length, 0u);
    ASSERT_LT(length, static_cast<DWORD>(MAX_PATH));
    ASSERT_NE(std::wstring(shortPath), path) << "the platform made no short name";
    Plugin plugin(shortPath);
    ASSERT_TRUE(plugin.Load());
    EXPECT_STREQ(plugin.driver().GetTunerName(), L"Ec1Bs1");
    plugin.ReleaseAndUnload();
    EXPECT_EQ(Sorted(folder.List()), Sorted({L"Zendrel-S.dll", L"Zendrel-ST.ini", L"Zendrel-S.SetCh.txt"}));
}

TEST_F(SideFileTest, WritesTheDefaultSettingsAndTheBuiltInSatelliteList)
{
    std::vector<std::wstring> listing = LoadAndRelease(L"Zendrel-S.dll");
    ASSERT_EQ(listing.size(), 25u);
    EXPECT_EQ(listing[0], L"0/0=BS1/TS0");
    EXPECT_EQ(listing[13], L"1/0=ND2");
    EXPECT_EQ(folder.Read(L"Zendrel-ST.ini"), DefaultSettingsText());
    EXPECT_EQ(folder.Read(L"Zendrel-ST.ini").size(), 115u);
    EXPECT_EQ(folder.Read(L"Zendrel-S.SetCh.txt"), SatelliteListText());
    EXPECT_EQ(folder.Read(L"Zendrel-S.SetCh.txt").size(), 1200u);

    // The written list is read at the next load, with the same result, and
    // the files are left as they are.
    EXPECT_EQ(LoadAndRelease(L"Zendrel-S.dll"), listing);
    EXPECT_EQ(folder.Read(L"Zendrel-S.SetCh.txt"), SatelliteListText());
}

TEST_F(SideFileTest, WritesTheBoardsTerrestrialListAndReadsItBack)
{
    const char* names[] = {"13ch", "14ch", "C13ch", "62ch", "C14ch"};
    ept->EptSimSetChannelList(names, 5);
    std::vector<std::wstring> listing = LoadAndRelease(L"Zendrel-T.dll");
    EXPECT_EQ(listing, (std::vector<std::wstring>{L"0/0=13ch", L"0/1=14ch", L"0/2=62ch"}))
        << "the cable channels wait until the user enables their band";
    std::string expected = TerrestrialHeader() + "13ch\t\t\t0\t  0\t;  0:\r\n" + "14ch\t\t\t0\t  1\t;  1:\r\n" +
                           "62ch\t\t\t0\t  3\t;  2:\r\n" + CatvHeader() + "C13ch\t\t\t1\t  2\t;  0:\r\n" +
                           "C14ch\t\t\t1\t  4\t;  1:\r\n";
    EXPECT_EQ(folder.Read(L"Zendrel-T.SetCh.txt"), expected);

    EXPECT_EQ(LoadAndRelease(L"Zendrel-T.dll"), listing);

    // Enabling the cable band in the written file brings its channels in.
    std::string edited = expected;
    edited.replace(edited.find(";$CATV"), 1, "");
    folder.Write(L"Zendrel-T.SetCh.txt", edited);
    listing = LoadAndRelease(L"Zendrel-T.dll");
    EXPECT_EQ(listing, (std::vector<std::wstring>{L"0/0=13ch", L"0/1=14ch", L"0/2=62ch", L"1/0=C13ch",
                                                  L"1/1=C14ch"}));
    EXPECT_EQ(folder.Read(L"Zendrel-T.SetCh.txt"), edited);
}

TEST_F(SideFileTest, BoardWithoutChannelsGetsNoChannelFileUntilItListsSome)
{
    ept->EptSimSetChannelList(nullptr, 0);
    ept->EptSimSetChannelMaxResult(1);  // a failing count is no channels
    EXPECT_TRUE(LoadAndRelease(L"Zendrel-T.dll").empty());
    EXPECT_FALSE(folder.Exists(L"Zendrel-T.SetCh.txt")) << "two headers alone would list nothing for good";
    EXPECT_TRUE(folder.Exists(L"Zendrel-ST.ini"));

    const char* names[] = {"13ch"};
    ept->EptSimSetChannelList(names, 1);
    ept->EptSimSetChannelMaxResult(0);
    EXPECT_EQ(LoadAndRelease(L"Zendrel-T.dll"), std::vector<std::wstring>{L"0/0=13ch"});
    EXPECT_EQ(folder.Read(L"Zendrel-T.SetCh.txt"),
              TerrestrialHeader() + "13ch\t\t\t0\t  0\t;  0:\r\n" + CatvHeader());
}

TEST_F(SideFileTest, AChannelFileThatAnotherProgramHoldsOpenForReadingIsStillRead)
{
    const std::string custom = "$BS\t0\r\nMine\t0\t3\t0x4031\r\n";
    folder.Write(L"Zendrel-S.SetCh.txt", custom);
    HANDLE reader = CreateFileW(folder.Path(L"Zendrel-S.SetCh.txt").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    EXPECT_EQ(LoadAndRelease(L"Zendrel-S.dll"), std::vector<std::wstring>{L"0/0=Mine"});
    CloseHandle(reader);
    EXPECT_EQ(folder.Read(L"Zendrel-S.SetCh.txt"), custom);
}

TEST_F(SideFileTest, AdoptsAChannelFileUnderTheLegacyName)
{
    const std::string custom = "$BS\t0\r\nMine\t0\t3\t0x4031\r\n";
    folder.Write(L"Zendrel-S..SetCh.txt", custom);
    EXPECT_EQ(LoadAndRelease(L"Zendrel-S.dll"), std::vector<std::wstring>{L"0/0=Mine"});
    EXPECT_FALSE(folder.Exists(L"Zendrel-S..SetCh.txt"));
    EXPECT_EQ(folder.Read(L"Zendrel-S.SetCh.txt"), custom);

    // With both present, the legacy file stays where it is.
    folder.Write(L"Zendrel-S..SetCh.txt", "$BS\t0\r\nOld\t0\t3\t0x4031\r\n");
    EXPECT_EQ(LoadAndRelease(L"Zendrel-S.dll"), std::vector<std::wstring>{L"0/0=Mine"});
    EXPECT_TRUE(folder.Exists(L"Zendrel-S..SetCh.txt"));
}

TEST_F(SideFileTest, OutLnbSwitchesTheSupplyOnlyForOneOnSatellite)
{
    struct Case {
        const wchar_t* dll;
        const char* settings;
        size_t lnbCalls;
    };
    const Case cases[] = {
        {L"Zendrel-S.dll", "[SET]\r\nOutLNB=1\r\n", 1},  {L"Zendrel-S.dll", "[SET]\r\nOutLNB=2\r\n", 0},
        {L"Zendrel-S.dll", "[SET]\r\nOutLNB=15\r\n", 0}, {L"Zendrel-S.dll", "[SET]\r\nOutLNB=0\r\n", 0},
        {L"Zendrel-S.dll", "[SET]\r\nAutoMake=1\r\n", 0}, {L"Zendrel-T.dll", "[SET]\r\nOutLNB=1\r\n", 0},
    };
    for (const Case& c : cases) {
        Folder dir;
        dir.Write(L"Zendrel-ST.ini", c.settings);
        Plugin plugin(dir.AddPlugin(c.dll));
        ept->EptSimLogClear();
        ASSERT_TRUE(plugin.Load());
        EXPECT_EQ(CallsTo(Log(), "PtDllSetLnbPower(").size(), c.lnbCalls) << c.settings;
        plugin.ReleaseAndUnload();
        EXPECT_EQ(dir.Read(L"Zendrel-ST.ini"), c.settings) << "an existing settings file is kept";
    }
}

TEST_F(SideFileTest, AutoMakeZeroWritesNothingAndAnyOtherValueWrites)
{
    const std::pair<const char*, bool> cases[] = {
        {"[SET]\r\nAutoMake=0\r\n", false}, {"[SET]\r\nAutoMake=7\r\n", true}, {"[OTHER]\r\nAutoMake=0\r\n", true}};
    for (const auto& c : cases) {
        Folder dir;
        dir.Write(L"Zendrel-ST.ini", c.first);
        Plugin plugin(dir.AddPlugin(L"Zendrel-S.dll"));
        ASSERT_TRUE(plugin.Load());
        plugin.ReleaseAndUnload();
        EXPECT_EQ(dir.Exists(L"Zendrel-S.SetCh.txt"), c.second) << c.first;
        EXPECT_EQ(dir.Read(L"Zendrel-ST.ini"), c.first);
    }
}

TEST_F(SideFileTest, ChannelFileWithoutBandsFailsTheLoadAndIsKept)
{
    const std::string onlyComments = "; nothing here\r\n\r\n;$UHF 0\r\n";
    folder.Write(L"Zendrel-T.SetCh.txt", onlyComments);
    Plugin plugin(folder.AddPlugin(L"Zendrel-T.dll"));
    EXPECT_FALSE(plugin.Load());
    EXPECT_EQ(folder.Read(L"Zendrel-T.SetCh.txt"), onlyComments);
    EXPECT_FALSE(folder.Exists(L"Zendrel-ST.ini")) << "nothing is written after a failed load";
}

TEST_F(SideFileTest, ChannelFileHeldByAnotherProgramIsNeverWrittenOver)
{
    const std::string edited = "$UHF\t0\r\nEdited\t0\t7\r\n";
    folder.Write(L"Zendrel-T.SetCh.txt", edited);
    HANDLE held = CreateFileW(folder.Path(L"Zendrel-T.SetCh.txt").c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    {
        Plugin plugin(folder.AddPlugin(L"Zendrel-T.dll"));
        ASSERT_TRUE(plugin.Load()) << "the board's list stands in for the file it cannot read";
        EXPECT_EQ(plugin.driver().EnumChannelName(0, 0), std::wstring(L"13ch"));
        // The editor lets go before the release: the file is still the user's.
        CloseHandle(held);
        plugin.ReleaseAndUnload();
    }
    EXPECT_EQ(folder.Read(L"Zendrel-T.SetCh.txt"), edited);
    EXPECT_EQ(LoadAndRelease(L"Zendrel-T.dll"), std::vector<std::wstring>{L"0/0=Edited"});
}

TEST_F(SideFileTest, SideFileNamesTakenByFoldersLoseNothingAndCrashNothing)
{
    CreateDirectoryW(folder.Path(L"Zendrel-ST.ini").c_str(), nullptr);
    CreateDirectoryW(folder.Path(L"Zendrel-S.SetCh.txt").c_str(), nullptr);
    EXPECT_EQ(LoadAndRelease(L"Zendrel-S.dll").size(), 25u);
    EXPECT_EQ(GetFileAttributesW(folder.Path(L"Zendrel-ST.ini").c_str()) & FILE_ATTRIBUTE_DIRECTORY,
              static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
    EXPECT_EQ(GetFileAttributesW(folder.Path(L"Zendrel-S.SetCh.txt").c_str()) & FILE_ATTRIBUTE_DIRECTORY,
              static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
}

TEST_F(SideFileTest, DllPathTooLongForItsFieldFailsTheLoad)
{
    // 259 characters fit the path field; from 260 on the module's own name
    // comes back cut, and side files derived from it would belong to no one.
    std::wstring dir = folder.Path(std::wstring(120, L'd'));
    CreateDirectoryW(dir.c_str(), nullptr);
    for (size_t length : {259u, 260u}) {
        std::wstring name = std::wstring(length - dir.size() - 1 - 6, L'z') + L"-T.dll";
        std::wstring path = dir + L"\\" + name;
        ASSERT_EQ(path.size(), length);
        CopyFileW((BinDirectory() + L"Zendrel.dll").c_str(), (L"\\\\?\\" + path).c_str(), FALSE);
        ept->EptSimLogClear();
        Plugin plugin(path);
        EXPECT_EQ(plugin.Load(), length == 259u) << length;
        std::vector<std::string> log = Log();
        EXPECT_EQ(CallsTo(log, "PtDllGetDevCount(").size(), 1u) << "the DLL itself was loaded and ran";
        EXPECT_EQ(CallsTo(log, "PtDllOpen(").size(), length == 259u ? 1u : 0u);
    }
}

TEST_F(SideFileTest, ChannelsWhoseNamesFoundNoRoomAreListedWithEmptyNames)
{
    // 64 rows of 240-byte names need 15,616 bytes; the name pool holds 8,192,
    // so the later rows come without a name. A host stops listing at the
    // first null, so those must read as empty names, not as the end.
    std::string text = "$UHF\t0\r\n";
    for (int i = 0; i < 64; ++i)
        text += std::string(239, 'a') + static_cast<char>('A' + i % 26) + "\t0\t" + std::to_string(i) + "\r\n";
    folder.Write(L"Zendrel-T.SetCh.txt", text);
    std::vector<std::wstring> listing = LoadAndRelease(L"Zendrel-T.dll");
    ASSERT_EQ(listing.size(), 64u);
    EXPECT_EQ(listing[0], L"0/0=" + std::wstring(31, L'a'));
    EXPECT_EQ(listing[63], L"0/63=");
}
