// Each fault a test or a user can switch on, counted by the stand-in and seen
// by the host tool's analyser the same number of times.
#include "host/analysis/TsAnalyzer.h"
#include "tests/standin/Standin.h"

namespace {

const uint32_t kPacket = 188;

class FaultTest : public PushedStreamTest
{
protected:
    // Pushes and reads packets, analysed.
    TsAnalyzer Receive(int32_t h, uint32_t packets)
    {
        Bytes bytes = Push(h, packets);
        TsAnalyzer ts;
        ts.Feed(bytes.data(), bytes.size());
        return ts;
    }

    uint64_t Count(int32_t h, int kind) { return ept->EptSimFaultCount(h, kind); }
};

}  // namespace

TEST_F(FaultTest, PacketFaultsHitTheSetCountAndTheAnalyserSeesEachOne)
{
    const struct {
        int kind;
        uint64_t (TsAnalyzer::*seen)() const;
    } cases[] = {
        {EPTSIM_FAULT_LOST_PACKETS, &TsAnalyzer::ContinuityErrors},
        {EPTSIM_FAULT_LOST_BYTES, &TsAnalyzer::SyncLosses},
        {EPTSIM_FAULT_TRANSPORT_ERROR, &TsAnalyzer::ErrorPackets},
        {EPTSIM_FAULT_SCRAMBLED, &TsAnalyzer::ScrambledPackets},
    };
    for (const auto& c : cases) {
        ept->EptSimReset();
        PushOnly();
        // On a clip-fed channel: video and audio packets, not only tables.
        ASSERT_EQ(ept->EptSimSetFeed(0, 2, 0, ClipPath().c_str(), 0), 0);
        ept->EptSimSetFault(c.kind, 9, 300, 100);  // armed at the tune
        int32_t h = Tune(L"Ec1Bt1", 2);
        TsAnalyzer ts = Receive(h, 5000);  // over a pass of the clip
        EXPECT_EQ((ts.*c.seen)(), 9u) << "fault " << c.kind;
        EXPECT_EQ(Count(h, c.kind), 9u) << "fault " << c.kind;
        ept->PtDllClose(h);
    }
}

TEST_F(FaultTest, FaultSetLaterStartsFromTheCurrentPacketAndZeroSwitchesItOff)
{
    int32_t h = Tune(L"Ec1Bt1", 2);
    EXPECT_EQ(Receive(h, 1000).ContinuityErrors(), 0u);
    // Lost tables of the generated stream, each PID seen between losses.
    ept->EptSimSetFault(EPTSIM_FAULT_LOST_PACKETS, 3, 100, 200);
    EXPECT_EQ(Receive(h, 1000).ContinuityErrors(), 3u);
    ept->EptSimSetFault(EPTSIM_FAULT_LOST_PACKETS, 0, 100, 0);
    EXPECT_EQ(Receive(h, 1000).ContinuityErrors(), 0u);
    EXPECT_EQ(Count(h, EPTSIM_FAULT_LOST_PACKETS), 3u);
}

TEST_F(FaultTest, SignalDropMissesTheBroadcastForItsDuration)
{
    ept->EptSimSetStreamMode(EPTSIM_MODE_CLOCK);
    ept->EptSimSetRate(kPacket * 20000, 0);
    int32_t h = Tune(L"Ec1Bt1", 2);
    Sleep(10);
    ept->EptSimSignalDrop(0, 40);
    uint64_t end = ept->EptSimNowMicros() + 40000;
    uint8_t tmcc[20];
    uint32_t cn = 1, agc = 0, agcMax = 0;
    EXPECT_NE(ept->PtDllGetTmcc(h, tmcc), 0);
    ASSERT_EQ(ept->PtDllGetCnAgc(h, &cn, &agc, &agcMax), 0);
    EXPECT_EQ(cn, 0u);
    Bytes before = ReadReady(h);
    Sleep(10);
    Bytes during = ReadReady(h);
    if (ept->EptSimNowMicros() < end)
        EXPECT_TRUE(during.empty());
    while (ept->EptSimNowMicros() < end + 10000)
        Sleep(2);
    Bytes after = ReadReady(h);
    before.insert(before.end(), during.begin(), during.end());

    // The null packets carry their number: the last one read tells how many
    // packets the broadcast sent, read or missed.
    ASSERT_GE(after.size(), 64 * kPacket);
    size_t count = after.size() / kPacket;
    size_t j = count - 1;
    // A null packet: PID 0x1FFF (the PCR's PID, 0x01FF, ends in 0xFF too).
    while ((after[j * kPacket + 1] & 0x1F) != 0x1F || after[j * kPacket + 2] != 0xFF)
        --j;
    uint64_t number = 0;
    for (int i = 0; i < 8; ++i)
        number = number << 8 | after[j * kPacket + 4 + i];
    uint64_t sent = number + (count - j);
    uint64_t missed = Count(h, EPTSIM_FAULT_MISSED_PACKETS);
    EXPECT_GT(missed, 0u);
    EXPECT_EQ(sent, before.size() / kPacket + count + missed);
    EXPECT_EQ(Count(h, EPTSIM_FAULT_SIGNAL_DROPS), 1u);
}

TEST_F(FaultTest, OverflowLossIsCounted)
{
    int32_t h = Tune(L"Ec1Bt1", 2);
    ept->EptSimPushBytes(h, EPTSIM_BUFFER_BYTES + 5 * kPacket);
    EXPECT_EQ(Count(h, EPTSIM_FAULT_OVERFLOW_BYTES), 5u * kPacket);
    EXPECT_EQ(Tuner(L"Ec1Bt1").bytesRead, 5u * kPacket);
}

TEST_F(FaultTest, SlowCallTakesLongerTheSetNumberOfTimes)
{
    int32_t h = Tune(L"Ec1Bt1", 2);
    ept->EptSimSlowCall("PtDllGetStreamSize", 40, 2);
    uint32_t size = 0;
    uint64_t start = ept->EptSimNowMicros();
    ASSERT_EQ(ept->PtDllGetStreamSize(h, &size), 0);
    EXPECT_GE(ept->EptSimNowMicros() - start, 40000u);
    ASSERT_EQ(ept->PtDllGetStreamSize(h, &size), 0);
    ASSERT_EQ(ept->PtDllGetStreamSize(h, &size), 0);
    ASSERT_EQ(ept->PtDllGetStreamEnable(h, nullptr), 1);
    EXPECT_EQ(Count(0, EPTSIM_FAULT_SLOW_CALLS), 2u);
}

TEST_F(FaultTest, RemovedDeviceFailsEveryCallFromThenOn)
{
    int32_t h = Tune(L"Ec1Bt1", 2);
    ept->EptSimPushBytes(h, 10 * kPacket);
    ept->EptSimRemoveDevice(0);
    uint32_t size = 0;
    uint8_t running = 0;
    EXPECT_EQ(ept->PtDllGetDevCount(), 0);
    EXPECT_EQ(ept->PtDllOpen(L"Ec1Bt2"), -1);
    EXPECT_NE(ept->PtDllGetStreamSize(h, &size), 0);
    EXPECT_NE(ept->PtDllGetStreamEnable(h, &running), 0);
    EXPECT_NE(ept->PtDllSetFrequency(h, 3), 0);
    EXPECT_NE(ept->PtDllClose(h), 0);
    EXPECT_EQ(ept->GetDllVersion(), 1) << "the library itself still answers";
    EXPECT_EQ(Count(0, EPTSIM_FAULT_FAILED_CALLS), 6u);

    ept->EptSimRemoveDevice(0xFFFFFFFFu);
    EXPECT_EQ(ept->PtDllGetStreamSize(h, &size), 0);
    EXPECT_EQ(size, 10 * kPacket);
}
