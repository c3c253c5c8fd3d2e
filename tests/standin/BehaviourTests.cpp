// The tuner as a receiver: when it delivers and what it reports, in clock
// mode, the broadcast. Waits are bounded by the stand-in's own clock; no test
// asserts a speed.
#include "tests/standin/Standin.h"

namespace {

class ReceiverTest : public StandinTest
{
protected:
    uint32_t Cn(int32_t h)
    {
        uint32_t cn = 0xDEAD, agc = 0, agcMax = 0;
        EXPECT_EQ(ept->PtDllGetCnAgc(h, &cn, &agc, &agcMax), 0);
        return cn;
    }

    bool Tmcc(int32_t h)
    {
        uint8_t tmcc[20];
        return ept->PtDllGetTmcc(h, tmcc) == 0;
    }

    uint32_t Ready(int32_t h)
    {
        uint32_t size = 0;
        EXPECT_EQ(ept->PtDllGetStreamSize(h, &size), 0);
        return size;
    }

    // Waits ms on the stand-in's clock.
    void Pass(uint32_t ms)
    {
        uint64_t until = ept->EptSimNowMicros() + ms * 1000ull;
        while (ept->EptSimNowMicros() < until)
            Sleep(2);
    }
};

}  // namespace

TEST_F(ReceiverTest, NothingBeforeLockWhileAsleepOrStopped)
{
    ept->EptSimSetLockTime(60000);
    int32_t h = Tune(L"Ec1Bt1", 5);
    Pass(20);
    EXPECT_EQ(Ready(h), 0u);
    EXPECT_EQ(Cn(h), 0u);
    EXPECT_FALSE(Tmcc(h));
    EXPECT_EQ(Tuner(L"Ec1Bt1").signal, 0);

    ept->EptSimSetLockTime(0);
    EXPECT_TRUE(Tmcc(h));
    EXPECT_GE(Cn(h), 1800u);
    Pass(20);
    EXPECT_GT(Ready(h), 0u);

    for (int asleep = 1; asleep >= 0; --asleep) {
        ASSERT_EQ(ept->PtDllSetTunerSleep(h, asleep), 0);
        ASSERT_EQ(ept->PtDllSetStreamEnable(h, asleep), 0);
        ASSERT_EQ(ept->PtDllGetStreamFlush(h), 0);
        Pass(20);
        EXPECT_EQ(Ready(h), 0u) << (asleep ? "asleep" : "stopped");
    }
}

TEST_F(ReceiverTest, LockComesTheLockTimeAfterTheTune)
{
    ept->EptSimSetLockTime(50);
    int32_t h = Tune(L"Ec1Bt1", 5);
    uint64_t tuned = ept->EptSimNowMicros();
    bool early = Tmcc(h);
    if (ept->EptSimNowMicros() < tuned + 50000)
        EXPECT_FALSE(early);
    Pass(55);
    EXPECT_TRUE(Tmcc(h));
    // Default 30 ms after a reset.
    ept->EptSimReset();
    h = Tune(L"Ec1Bt1", 5);
    Pass(35);
    EXPECT_TRUE(Tmcc(h));
}

TEST_F(ReceiverTest, SatelliteDeliversOnlyATsIdTheChannelCarries)
{
    ept->EptSimSetLockTime(0);
    int32_t h = Tune(L"Ec1Bs1", 0);
    EXPECT_TRUE(Tmcc(h)) << "the carrier locks without a TS ID";
    Pass(20);
    EXPECT_EQ(Ready(h), 0u) << "no TS ID selected";

    for (uint32_t unknown : {0x4030u, 0x6010u, 0x1234u}) {
        ASSERT_EQ(ept->PtDllSetIdS(h, unknown), 0);
        Pass(10);
        EXPECT_EQ(Ready(h), 0u) << std::hex << unknown;
        EXPECT_EQ(Cn(h), 0u) << std::hex << unknown;
    }
    ASSERT_EQ(ept->PtDllSetIdS(h, 0x4012), 0);
    Pass(10);
    EXPECT_GT(Ready(h), 0u);
    EXPECT_GE(Cn(h), 1800u);

    // ND channels on PT 12..23, with either network's TS IDs; none beyond.
    int32_t h2 = Tune(L"Ec1Bs2", 23, 0x7180);
    EXPECT_EQ(Tuner(L"Ec1Bs2").signal, 1);
    ASSERT_EQ(ept->PtDllSetFrequency(h2, 30), 0);
    ASSERT_EQ(ept->PtDllSetIdS(h2, 0x4310), 0);
    EXPECT_EQ(Tuner(L"Ec1Bs2").signal, 0);
}

TEST_F(ReceiverTest, PtChannelWithoutSignalNeverLocks)
{
    ept->EptSimSetLockTime(0);
    ept->EptSimSetNoSignal(0, 7, 1);
    int32_t h = Tune(L"Ec1Bt1", 7);
    EXPECT_FALSE(Tmcc(h));
    EXPECT_EQ(Cn(h), 0u);
    Pass(20);
    EXPECT_EQ(Ready(h), 0u);
    ept->EptSimSetNoSignal(0, 7, 0);
    EXPECT_TRUE(Tmcc(h));
    EXPECT_EQ(Tuner(L"Ec1Bs1").signal, 0) << "the satellite PT channel 7 is another one";
}
