// Opening, handles, boards, the channel list and tuning.
#include <string.h>

#include "tests/standin/Standin.h"

using TunerTest = StandinTest;

TEST_F(TunerTest, TunersOpenOnceByExactNameUnlessRefused)
{
    EXPECT_EQ(ept->PtDllOpen(L"Ec1Bt1"), kHandleBt1);
    EXPECT_EQ(ept->PtDllOpen(L"Ec1Bt2"), kHandleBt2);
    EXPECT_EQ(ept->PtDllOpen(L"Ec1Bs1"), kHandleBs1);
    EXPECT_EQ(ept->PtDllOpen(L"Ec1Bs1"), -1);
    EXPECT_EQ(ept->PtDllClose(kHandleBs1), 0);
    EXPECT_NE(ept->PtDllClose(kHandleBs1), 0);
    EXPECT_EQ(ept->PtDllOpen(L"Ec1Bs1"), kHandleBs1);

    for (const wchar_t* name : {L"Ec1Bt3", L"ec1Bt1", L"Ec0Bt1", L"Ec01Bt1", L"Ec1Bt1 ", L""})
        EXPECT_EQ(ept->PtDllOpen(name), -1);
    EXPECT_EQ(ept->PtDllOpen(nullptr), -1);
    EptSimTuner beyond;
    EXPECT_EQ(ept->EptSimGetTuner(L"Ec17Bt1", &beyond), -1) << "past the last possible board";

    ept->EptSimRefuseTuner(L"Ec1Bs2", 1);
    EXPECT_EQ(ept->PtDllOpen(L"Ec1Bs2"), -1);
    ept->EptSimRefuseTuner(L"Ec1Bs2", 0);
    EXPECT_EQ(ept->PtDllOpen(L"Ec1Bs2"), kHandleBs2);
}

TEST_F(TunerTest, BoardCountLimitsWhichTunersExist)
{
    EXPECT_EQ(ept->PtDllGetDevCount(), 1);
    EXPECT_EQ(ept->PtDllOpen(L"Ec2Bt1"), -1);
    ept->EptSimSetBoardCount(3);
    EXPECT_EQ(ept->PtDllGetDevCount(), 3);
    EXPECT_EQ(ept->PtDllOpen(L"Ec3Bs2"), 0x100 + 2 * 4 + 3);
    EXPECT_EQ(ept->PtDllOpen(L"Ec4Bt1"), -1);
    // An impossible count is reported as it stands, with no board behind it.
    ept->EptSimSetBoardCount(-1);
    EXPECT_EQ(ept->PtDllGetDevCount(), -1);
    EXPECT_EQ(ept->PtDllOpen(L"Ec1Bt1"), -1);
}

TEST_F(TunerTest, CallsOnHandlesNotOpenFailAndChangeNothing)
{
    uint32_t value = 77;
    EXPECT_NE(ept->PtDllSetFrequency(kHandleBt1, 5), 0);
    EXPECT_NE(ept->PtDllSetLnbPower(kHandleBs1, 2), 0);
    EXPECT_NE(ept->PtDllSetStreamEnable(kHandleBt1, 1), 0);
    EXPECT_NE(ept->PtDllGetStreamSize(0x104, &value), 0);  // board 2 does not exist
    EXPECT_NE(ept->PtDllGetChannelMax(0xFF, &value), 0);
    EXPECT_EQ(value, 77u);
    EptSimTuner t = Tuner(L"Ec1Bt1");
    EXPECT_EQ(t.ptChannel, -1);
    EXPECT_EQ(t.streaming, 0);
    EXPECT_EQ(t.lnbPower, 0);
}

TEST_F(TunerTest, OpenTunerSleepsLnbIsPerBoardAndResetClosesAll)
{
    int32_t h = ept->PtDllOpen(L"Ec1Bs1");
    EXPECT_EQ(Tuner(L"Ec1Bs1").sleeping, 1);
    EXPECT_EQ(ept->PtDllSetTunerSleep(h, 0), 0);
    EXPECT_EQ(Tuner(L"Ec1Bs1").sleeping, 0);
    EXPECT_EQ(ept->PtDllSetLnbPower(h, 2), 0);
    EXPECT_EQ(Tuner(L"Ec1Bt1").lnbPower, 2);
    EXPECT_EQ(ept->PtDllSetStreamEnable(h, 1), 0);

    ept->EptSimReset();
    EptSimTuner t = Tuner(L"Ec1Bs1");
    EXPECT_EQ(t.open + t.streaming + t.lnbPower, 0);
    EXPECT_EQ(t.handle, kHandleBs1);
}

TEST_F(TunerTest, ChannelListDefaultsToUhfThenCableAndCanBeReplaced)
{
    int32_t h = ept->PtDllOpen(L"Ec1Bt1");
    uint32_t count = 0, value = 0;
    char name[16];
    ASSERT_EQ(ept->PtDllGetChannelMax(h, &count), 0);
    EXPECT_EQ(count, 101u);
    const struct { uint32_t index; const char* name; } defaults[] = {
        {0, "13ch"}, {49, "62ch"}, {50, "C13ch"}, {100, "C63ch"}};
    for (const auto& e : defaults) {
        memset(name, 'x', sizeof name);
        ASSERT_EQ(ept->PtDllGetChannelInfo(h, e.index, &value, name), 0);
        EXPECT_STREQ(name, e.name);
    }
    EXPECT_NE(ept->PtDllGetChannelInfo(h, 101, &value, name), 0);

    const char* names[] = {"one", "0123456789abcdefghij"};
    ept->EptSimSetChannelList(names, 2);
    ASSERT_EQ(ept->PtDllGetChannelMax(h, &count), 0);
    EXPECT_EQ(count, 2u);
    ASSERT_EQ(ept->PtDllGetChannelInfo(h, 1, &value, name), 0);
    EXPECT_STREQ(name, "0123456789abcde");
    ept->EptSimSetChannelList(nullptr, 0);
    ASSERT_EQ(ept->PtDllGetChannelMax(h, &count), 0);
    EXPECT_EQ(count, 101u);

    ept->EptSimSetChannelMaxResult(4);
    EXPECT_EQ(ept->PtDllGetChannelMax(h, &count), 4);
    EXPECT_EQ(count, 101u) << "a failing call wrote its count";
}

TEST_F(TunerTest, SetFrequencyFollowsTheRuleUnlessForced)
{
    int32_t t = ept->PtDllOpen(L"Ec1Bt1");
    int32_t s = ept->PtDllOpen(L"Ec1Bs1");
    EXPECT_EQ(ept->PtDllSetFrequency(t, 100), 0);
    EXPECT_NE(ept->PtDllSetFrequency(t, 101), 0);
    EXPECT_EQ(Tuner(L"Ec1Bt1").ptChannel, 100) << "a failed tune keeps the last one";
    EXPECT_EQ(Tuner(L"Ec1Bt1").tsId, 0x7C00 + 100);
    EXPECT_EQ(ept->PtDllSetFrequency(s, 35), 0);
    EXPECT_NE(ept->PtDllSetFrequency(s, 36), 0);
    const char* three[] = {"a", "b", "c"};
    ept->EptSimSetChannelList(three, 3);
    EXPECT_NE(ept->PtDllSetFrequency(t, 3), 0);

    EXPECT_EQ(ept->PtDllSetIdS(s, 0x4031), 0);
    EXPECT_EQ(Tuner(L"Ec1Bs1").tsId, 0x4031);
    ASSERT_EQ(ept->PtDllSetFrequency(s, 12), 0);
    EXPECT_EQ(Tuner(L"Ec1Bs1").tsId, 0) << "tuning clears the TS ID";

    ept->EptSimSetFrequencyResult(7);
    EXPECT_EQ(ept->PtDllSetFrequency(s, 3), 7);
    EXPECT_EQ(Tuner(L"Ec1Bs1").ptChannel, 12);
    ept->EptSimSetFrequencyResult(0);
    EXPECT_EQ(ept->PtDllSetFrequency(s, 200), 0);
    EXPECT_EQ(Tuner(L"Ec1Bs1").ptChannel, 200);
}

TEST_F(TunerTest, SignalFiguresFollowChannelUnlessForced)
{
    ept->EptSimSetLockTime(0);
    int32_t h = ept->PtDllOpen(L"Ec1Bt1");
    uint32_t cn = 0, agc = 0, agcMax = 0;
    for (uint32_t ch = 0; ch < 101; ++ch) {
        ASSERT_EQ(ept->PtDllSetFrequency(h, ch), 0);
        ASSERT_EQ(ept->PtDllGetCnAgc(h, &cn, &agc, &agcMax), 0);
        EXPECT_TRUE(cn >= 1800 && cn <= 3000 && agc <= agcMax) << cn << " on " << ch;
    }
    uint8_t tmcc[20] = {};
    ASSERT_EQ(ept->PtDllGetTmcc(h, tmcc), 0);
    EXPECT_EQ(tmcc[0] << 8 | tmcc[1], 0x7C00 + 100);

    ept->EptSimSetCn(1234);
    ASSERT_EQ(ept->PtDllGetCnAgc(h, &cn, &agc, &agcMax), 0);
    EXPECT_EQ(cn, 1234u);
    ept->EptSimSetTmccResult(3);
    EXPECT_EQ(ept->PtDllGetTmcc(h, tmcc), 3);
}
