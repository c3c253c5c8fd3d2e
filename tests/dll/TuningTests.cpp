// Tuning, the tuning spaces and channel names, and the small tuner operations,
// as a host calls them on a loaded copy.
#include <memory>

#include "tests/dll/PluginTest.h"

namespace {

const DWORD kNone = 0xFFFFFFFF;

// 地上波
const wchar_t kTerrestrialSpace[] = L"\u5730\u4E0A\u6CE2";

}  // namespace

class TuningTest : public PluginTest
{
protected:
    // Loads a copy under fileName, leaving the stand-in's call log empty.
    Driver Load(const wchar_t* fileName)
    {
        plugin.reset(new Plugin(folder.AddPlugin(fileName)));
        EXPECT_TRUE(plugin->Load());
        ept->EptSimLogClear();
        return plugin->driver();
    }

    // Time stamp of the first log entry that begins with prefix.
    uint32_t TimeOf(const std::string& prefix)
    {
        for (int i = 0; i < ept->EptSimLogCount(); ++i) {
            char text[256];
            uint32_t ms = 0;
            ept->EptSimLogEntry(i, text, sizeof text, &ms);
            if (std::string(text).compare(0, prefix.size(), prefix) == 0)
                return ms;
        }
        ADD_FAILURE() << "no call " << prefix;
        return 0;
    }

    std::unique_ptr<Plugin> plugin;
};

TEST_F(TuningTest, SatelliteTuningStopsTunesWaitsSelectsTheTsIdAndRestarts)
{
    Driver driver = Load(L"Zendrel-S.dll");
    EXPECT_EQ(driver.GetCurSpace(), kNone);
    EXPECT_EQ(driver.GetCurChannel(), kNone);

    // CS110 channel 3 is "ND8": PT channel 15, TS ID 0x6080. No OpenTuner first.
    EXPECT_EQ(driver.SetChannel(1, 3), 1);
    EXPECT_EQ(Log(), (std::vector<std::string>{"PtDllSetStreamEnable(258, 0) = 0", "PtDllSetFrequency(258, 15) = 0",
                                               "PtDllGetTmcc(258) = 0", "PtDllSetIdS(258, 24704) = 0",
                                               "PtDllSetStreamEnable(258, 1) = 0"}));
    EXPECT_GE(TimeOf("PtDllGetTmcc(") - TimeOf("PtDllSetFrequency("), 60u);
    EXPECT_EQ(driver.GetCurSpace(), 1u);
    EXPECT_EQ(driver.GetCurChannel(), 3u);
    EptSimTuner tuner = Tuner(L"Ec1Bs1");
    EXPECT_EQ(tuner.ptChannel, 15);
    EXPECT_EQ(tuner.tsId, 0x6080);
    EXPECT_EQ(tuner.streaming, 1);
}

TEST_F(TuningTest, TerrestrialTuningSelectsNoTsIdAndTunesTheBoardIndex)
{
    Driver driver = Load(L"Zendrel-T.dll");
    EXPECT_EQ(driver.SetChannel(0, 49), 1);
    EXPECT_EQ(Log(), (std::vector<std::string>{"PtDllSetStreamEnable(256, 0) = 0", "PtDllSetFrequency(256, 49) = 0",
                                               "PtDllGetTmcc(256) = 0", "PtDllSetStreamEnable(256, 1) = 0"}));
    EXPECT_GE(TimeOf("PtDllGetTmcc(") - TimeOf("PtDllSetFrequency("), 60u);
    EXPECT_EQ(driver.GetCurSpace(), 0u);
    EXPECT_EQ(driver.GetCurChannel(), 49u);
}

TEST_F(TuningTest, FailedTuningOrTmccLeavesTheStreamStoppedAndTheCurrentChannel)
{
    Driver driver = Load(L"Zendrel-S.dll");
    ASSERT_EQ(driver.SetChannel(0, 2), 1);

    ept->EptSimSetFrequencyResult(1);
    ept->EptSimLogClear();
    EXPECT_EQ(driver.SetChannel(1, 0), 0);
    EXPECT_EQ(Log(), (std::vector<std::string>{"PtDllSetStreamEnable(258, 0) = 0", "PtDllSetFrequency(258, 12) = 1"}));
    EXPECT_EQ(Tuner(L"Ec1Bs1").streaming, 0);
    EXPECT_EQ(driver.GetCurSpace(), 0u);
    EXPECT_EQ(driver.GetCurChannel(), 2u);

    ept->EptSimSetFrequencyResult(-1);
    ept->EptSimSetTmccResult(1);
    ASSERT_EQ(ept->PtDllSetStreamEnable(kHandleBs1, 1), 0);
    ept->EptSimLogClear();
    EXPECT_EQ(driver.SetChannel(1, 0), 0);
    EXPECT_EQ(Log(), (std::vector<std::string>{"PtDllSetStreamEnable(258, 0) = 0", "PtDllSetFrequency(258, 12) = 0",
                                               "PtDllGetTmcc(258) = 1"}));
    EXPECT_EQ(Tuner(L"Ec1Bs1").streaming, 0);
    EXPECT_EQ(driver.GetCurSpace(), 0u);
    EXPECT_EQ(driver.GetCurChannel(), 2u);
}

TEST_F(TuningTest, ChannelPastTheEndOrAbsentSpaceFailsWithoutABoardCall)
{
    Driver driver = Load(L"Zendrel-S.dll");
    EXPECT_EQ(driver.SetChannel(0, 13), 0);
    EXPECT_EQ(driver.SetChannel(1, 12), 0);
    EXPECT_EQ(driver.SetChannel(2, 0), 0);
    EXPECT_EQ(driver.SetChannel(kNone, 0), 0);
    EXPECT_EQ(driver.SetChannel(0, kNone), 0);
    EXPECT_TRUE(Log().empty());
    EXPECT_EQ(driver.GetCurSpace(), kNone);
    EXPECT_EQ(driver.GetCurChannel(), kNone);
}

TEST_F(TuningTest, TerrestrialCableSpaceIsAbsentWithoutAChannelFile)
{
    Driver driver = Load(L"Zendrel-T.dll");
    EXPECT_EQ(driver.SetChannel(1, 0), 0);
    EXPECT_EQ(driver.SetChannel(kNone, 0), 0) << "the absent band's marker selects nothing";
    EXPECT_EQ(driver.SetChannel(0, 50), 0) << "cable channels are not in the UHF space";
    EXPECT_TRUE(Log().empty());
}

TEST_F(TuningTest, SatelliteSpacesAndChannelsAreTheBuiltInList)
{
    Driver driver = Load(L"Zendrel-S.dll");
    EXPECT_STREQ(driver.EnumTuningSpace(0), L"BS");
    EXPECT_STREQ(driver.EnumTuningSpace(1), L"CS110");
    EXPECT_EQ(driver.EnumTuningSpace(2), nullptr);
    EXPECT_EQ(driver.EnumTuningSpace(kNone), nullptr);

    EXPECT_STREQ(driver.EnumChannelName(0, 0), L"BS1/TS0");
    EXPECT_STREQ(driver.EnumChannelName(0, 12), L"BS17/TS1");
    EXPECT_EQ(driver.EnumChannelName(0, 13), nullptr);
    EXPECT_STREQ(driver.EnumChannelName(1, 0), L"ND2");
    EXPECT_STREQ(driver.EnumChannelName(1, 11), L"ND24");
    EXPECT_EQ(driver.EnumChannelName(1, 12), nullptr);
    EXPECT_EQ(driver.EnumChannelName(2, 0), nullptr);
    EXPECT_EQ(driver.EnumChannelName(kNone, 0), nullptr);
}

TEST_F(TuningTest, TerrestrialSpaceListsTheBoardsUhfChannels)
{
    Driver driver = Load(L"Zendrel-T.dll");
    EXPECT_STREQ(driver.EnumTuningSpace(0), kTerrestrialSpace);
    EXPECT_EQ(driver.EnumTuningSpace(1), nullptr);
    EXPECT_EQ(driver.EnumTuningSpace(kNone), nullptr);

    EXPECT_STREQ(driver.EnumChannelName(0, 0), L"13ch");
    EXPECT_STREQ(driver.EnumChannelName(0, 49), L"62ch");
    EXPECT_EQ(driver.EnumChannelName(0, 50), nullptr);
    EXPECT_EQ(driver.EnumChannelName(1, 0), nullptr);
    EXPECT_EQ(driver.EnumChannelName(kNone, 0), nullptr);
}

TEST_F(TuningTest, ChannelFileNamesComeBackAsUtf16CutTo31Characters)
{
    // NHK総合
    const std::wstring japanese = L"NHK\u7DCF\u5408";
    // 40 hiragana, each two bytes in code page 932.
    std::wstring longJapanese;
    for (wchar_t c = 0x3041; c < 0x3041 + 40; ++c)
        longJapanese += c;
    const std::string longAscii(40, 'A');
    folder.Write(L"Zendrel-T.SetCh.txt", "$UHF\t0\r\n" + longAscii + "\t0\t3\r\n" +
                                             ToCp932(longJapanese) + "\t0\t4\r\n" + ToCp932(japanese) +
                                             "\t0\t5\r\n");
    Driver driver = Load(L"Zendrel-T.dll");

    EXPECT_STREQ(driver.EnumChannelName(0, 0), std::wstring(31, L'A').c_str());
    EXPECT_STREQ(driver.EnumChannelName(0, 1), longJapanese.substr(0, 31).c_str());
    // After the long names: terminated at its own end, nothing left over.
    EXPECT_STREQ(driver.EnumChannelName(0, 2), japanese.c_str());
    EXPECT_EQ(driver.EnumChannelName(0, 3), nullptr);

    EXPECT_EQ(driver.SetChannel(0, 2), 1);
    EXPECT_EQ(CallsTo(Log(), "PtDllSetFrequency("), std::vector<std::string>{"PtDllSetFrequency(256, 5) = 0"});
}

TEST_F(TuningTest, OpenWakesWithoutStreamingAndCloseStopsAndSleeps)
{
    Driver driver = Load(L"Zendrel-T.dll");
    ASSERT_EQ(Tuner(L"Ec1Bt1").sleeping, 1);
    EXPECT_EQ(driver.OpenTuner(), 1);
    EXPECT_EQ(Log(), std::vector<std::string>{"PtDllSetTunerSleep(256, 0) = 0"});
    EptSimTuner tuner = Tuner(L"Ec1Bt1");
    EXPECT_EQ(tuner.sleeping, 0);
    EXPECT_EQ(tuner.streaming, 0);

    ASSERT_EQ(driver.SetChannel(0, 0), 1);
    ASSERT_EQ(Tuner(L"Ec1Bt1").streaming, 1);
    driver.CloseTuner();
    tuner = Tuner(L"Ec1Bt1");
    EXPECT_EQ(tuner.streaming, 0);
    EXPECT_EQ(tuner.sleeping, 1);
    EXPECT_EQ(tuner.open, 1) << "the handle stays open until release";
}

TEST_F(TuningTest, SignalLevelIsTheCarrierToNoiseFigureOverAHundred)
{
    Driver driver = Load(L"Zendrel-S.dll");
    ept->EptSimSetCn(2345);
    EXPECT_FLOAT_EQ(driver.GetSignalLevel(), 23.45f);
    ept->EptSimSetCn(0);
    EXPECT_EQ(driver.GetSignalLevel(), 0.0f);
}

TEST_F(TuningTest, ByteSetChannelDoesNothingAndTheTunerNeverReportsOpening)
{
    Driver driver = Load(L"Zendrel-S.dll");
    EXPECT_EQ(driver.SetChannel(BYTE{0}), 1);
    EXPECT_EQ(driver.SetChannel(BYTE{255}), 1);
    EXPECT_TRUE(Log().empty());
    EXPECT_EQ(driver.GetCurSpace(), kNone);
    EXPECT_EQ(driver.IsTunerOpening(), 0);
    EXPECT_STREQ(driver.GetTunerName(), L"Ec1Bs1");
}
