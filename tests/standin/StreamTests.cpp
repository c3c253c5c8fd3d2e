// The rendered transport stream and how its bytes become ready and are read.
#include <map>
#include <thread>
#include <vector>

#include "ts/MpegCrc32.h"
#include "tests/standin/Standin.h"

namespace {

const uint32_t kPacket = 188;

uint16_t Pid(const uint8_t* p)
{
    return static_cast<uint16_t>((p[1] & 0x1F) << 8 | p[2]);
}

// Sync bytes, the PID of each slot of the 64-packet cycle, and continuity
// counters running on per PID for packets with payload.
void ExpectContinuous(const Bytes& bytes, uint64_t firstPacket)
{
    std::map<uint16_t, int> last;
    ASSERT_EQ(bytes.size() % kPacket, 0u);
    for (size_t at = 0; at < bytes.size(); at += kPacket) {
        const uint8_t* p = &bytes[at];
        uint64_t k = firstPacket + at / kPacket;
        ASSERT_EQ(p[0], 0x47) << "packet " << k;
        static const uint16_t kSlotPids[4] = {0x0000, 0x01F0, 0x0011, 0x01FF};
        uint64_t slot = k % 64;
        ASSERT_EQ(Pid(p), slot < 4 ? kSlotPids[slot] : slot == 35 ? 0x01FF : 0x1FFF) << "packet " << k;
        if (!(p[3] & 0x10) || Pid(p) == 0x1FFF)
            continue;
        auto seen = last.find(Pid(p));
        if (seen != last.end())
            ASSERT_EQ(p[3] & 0x0F, (seen->second + 1) & 0x0F) << "continuity break at packet " << k;
        last[Pid(p)] = p[3] & 0x0F;
    }
}

// A tuned, locked, awake and streaming terrestrial tuner on PT channel 5, in
// manual mode.
class StreamTest : public StandinTest
{
protected:
    void SetUp() override
    {
        StandinTest::SetUp();
        ept->EptSimSetStreamMode(EPTSIM_MODE_MANUAL);
        ept->EptSimSetLockTime(0);
        h = ept->PtDllOpen(L"Ec1Bt1");
        ASSERT_EQ(ept->PtDllSetTunerSleep(h, 0), 0);
        ASSERT_EQ(ept->PtDllSetFrequency(h, 5), 0);
        ASSERT_EQ(ept->PtDllSetStreamEnable(h, 1), 0);
    }

    uint32_t Ready()
    {
        uint32_t size = 0xDEADBEEF;
        EXPECT_EQ(ept->PtDllGetStreamSize(h, &size), 0);
        return size;
    }

    Bytes Read(uint32_t capacity)
    {
        Bytes out(capacity);
        uint32_t copied = 0xDEADBEEF;
        EXPECT_EQ(ept->PtDllGetStreamData(h, out.data(), capacity, &copied), 0);
        out.resize(copied <= capacity ? copied : 0);
        return out;
    }

    Bytes Expected(uint64_t offset, uint32_t size, int32_t handle = 0)
    {
        Bytes out(size);
        ept->EptSimStreamBytes(handle != 0 ? handle : h, offset, out.data(), size);
        return out;
    }

    int32_t h = -1;
};

}  // namespace

TEST(MpegCrc32, MatchesTheMpeg2CheckValue)
{
    EXPECT_EQ(MpegCrc32(reinterpret_cast<const uint8_t*>("123456789"), 9), 0x0376E6E7u);
}

TEST_F(StreamTest, PatCarriesTsIdOfTunerKindWithValidCrc)
{
    int32_t s = ept->PtDllOpen(L"Ec1Bs1");
    ASSERT_EQ(ept->PtDllSetFrequency(s, 20), 0);
    ASSERT_EQ(ept->PtDllSetIdS(s, 0x40F2), 0);
    const struct { int32_t handle; int tsId; } cases[] = {{h, 0x7C05}, {s, 0x40F2}};
    for (const auto& c : cases) {
        for (uint64_t k : {0, 64, 640}) {
            Bytes p = Expected(k * kPacket, kPacket, c.handle);
            EXPECT_EQ(p[0] << 24 | p[1] << 16 | p[2] << 8 | p[3], 0x47400010 | int(k / 64 % 16));
            EXPECT_EQ(p[4], 0) << "pointer_field";
            const uint8_t* sec = &p[5];
            EXPECT_EQ(sec[0], 0x00);
            ASSERT_EQ(sec[1] << 8 | sec[2], 0xB000 | 13);
            EXPECT_EQ(sec[3] << 8 | sec[4], c.tsId);
            EXPECT_EQ(sec[5] & 0x3F, 0x01) << "version 0, current";
            EXPECT_EQ(sec[6] | sec[7], 0) << "one section";
            EXPECT_EQ(sec[8] << 8 | sec[9], 1) << "program_number";
            EXPECT_EQ((sec[10] & 0x1F) << 8 | sec[11], 0x01F0) << "PMT PID";
            uint32_t crc = static_cast<uint32_t>(sec[12]) << 24 | sec[13] << 16 | sec[14] << 8 | sec[15];
            EXPECT_EQ(crc, MpegCrc32(sec, 12));
            EXPECT_EQ(Bytes(p.begin() + 21, p.end()), Bytes(kPacket - 21, 0xFF)) << "stuffing";
        }
    }
}

TEST_F(StreamTest, NullPacketsCarryTheirNumberAndChannel)
{
    Bytes p = Expected(1000 * kPacket, kPacket);
    EXPECT_EQ(Pid(&p[0]), 0x1FFF);
    EXPECT_EQ(p[1] & 0x40, 0);
    EXPECT_EQ(p[3], 0x10) << "payload only";
    EXPECT_EQ(p[4 + 6] << 8 | p[4 + 7], 1000);
    EXPECT_EQ(p[4 + 8], 5) << "PT channel";
    EXPECT_EQ(p[4 + 100], static_cast<uint8_t>(1000 + 100));
}

TEST_F(StreamTest, OddSizedReadsDeliverTheContinuousStream)
{
    const uint32_t total = 300 * kPacket;
    ept->EptSimPushBytes(h, total);
    EXPECT_EQ(Ready(), total);
    Bytes all;
    while (all.size() < total) {
        Bytes part = Read(1000);
        ASSERT_FALSE(part.empty());
        all.insert(all.end(), part.begin(), part.end());
    }
    EXPECT_EQ(Ready(), 0u);
    EXPECT_TRUE(Read(1000).empty());
    EXPECT_EQ(all, Expected(0, total));
    ExpectContinuous(all, 0);
    EXPECT_EQ(Tuner(L"Ec1Bt1").bytesRead, total);
}

TEST_F(StreamTest, FlushDiscardsAndNumberingGoesOnButRetuneRestarts)
{
    ept->EptSimPushBytes(h, 1000);
    ASSERT_EQ(Read(100).size(), 100u);
    ASSERT_EQ(ept->PtDllGetStreamFlush(h), 0);
    EXPECT_EQ(Ready(), 0u);
    EXPECT_EQ(Tuner(L"Ec1Bt1").bytesRead, 1000u);
    ept->EptSimPushBytes(h, 500);
    EXPECT_EQ(Read(500), Expected(1000, 500));

    ept->EptSimPushBytes(h, 500);
    ASSERT_EQ(ept->PtDllSetFrequency(h, 9), 0);
    EptSimTuner t = Tuner(L"Ec1Bt1");
    EXPECT_EQ(t.bytesReady + t.bytesRead, 0u);
    ept->EptSimPushBytes(h, kPacket);
    Bytes p = Read(kPacket);
    ASSERT_EQ(p.size(), kPacket);
    EXPECT_EQ(Pid(&p[0]), 0);
    EXPECT_EQ(p[3] & 0x0F, 0);
    EXPECT_EQ(p[5 + 3] << 8 | p[5 + 4], 0x7C09);
}

TEST_F(StreamTest, ManualModeDeliversOnlyPushedAndScheduledBytes)
{
    Sleep(20);
    EXPECT_EQ(Ready(), 0u);
    uint64_t before = ept->EptSimNowMicros();
    ept->EptSimScheduleBytes(h, 1, 10000000);
    ept->EptSimScheduleBytes(h, 10 * kPacket, 30000);  // replaces the first
    uint32_t early = Ready();
    if (ept->EptSimNowMicros() < before + 30000)
        EXPECT_EQ(early, 0u);
    while (ept->EptSimNowMicros() < before + 31000)
        Sleep(2);
    EXPECT_EQ(Ready(), 10 * kPacket);
    ept->EptSimPushBytes(h, 7);
    EXPECT_EQ(Ready(), 10 * kPacket + 7);
}

TEST_F(StreamTest, ScheduledBytesReachAPollerInAnotherThread)
{
    ept->EptSimScheduleBytes(h, kPacket, 20000);
    uint32_t seen = 0;
    std::thread poller([&] {
        for (int i = 0; i < 2000 && seen == 0; ++i) {
            ept->PtDllGetStreamSize(h, &seen);
            Sleep(1);
        }
    });
    poller.join();
    EXPECT_EQ(seen, kPacket);
}

TEST_F(StreamTest, OverflowLosesWholeOldestPackets)
{
    ept->EptSimPushBytes(h, 1000);
    Read(1000);  // leaves the reader mid-packet
    ept->EptSimPushBytes(h, EPTSIM_BUFFER_BYTES);
    EXPECT_EQ(Ready(), static_cast<uint32_t>(EPTSIM_BUFFER_BYTES));
    ept->EptSimPushBytes(h, kPacket);
    // 1000 + 188 bytes too many: reading resumes at the next packet start.
    EXPECT_EQ(Tuner(L"Ec1Bt1").bytesRead, 7 * kPacket);
    EXPECT_EQ(Read(kPacket), Expected(7 * kPacket, kPacket));
}

TEST_F(StreamTest, AlwaysModeFillsEveryCapacity)
{
    ept->EptSimSetStreamMode(EPTSIM_MODE_ALWAYS);
    ASSERT_EQ(ept->PtDllSetStreamEnable(h, 0), 0);
    EXPECT_EQ(Ready(), static_cast<uint32_t>(EPTSIM_BUFFER_BYTES));
    EXPECT_EQ(Read(1000), Expected(0, 1000));
    EXPECT_EQ(Read(1540096), Expected(1000, 1540096));
    EXPECT_EQ(Read(EPTSIM_BUFFER_BYTES + 1000).size(), EPTSIM_BUFFER_BYTES + 1000u);
    ept->EptSimSetStreamMode(EPTSIM_MODE_MANUAL);
    EXPECT_EQ(Ready(), 0u);
}

TEST_F(StreamTest, ClockModeProducesWholePacketsAtRateWhileEnabled)
{
    const uint32_t rate = 1000 * kPacket;
    ASSERT_EQ(ept->PtDllSetStreamEnable(h, 0), 0);
    ept->EptSimSetStreamMode(EPTSIM_MODE_CLOCK);
    ept->EptSimSetRate(rate, 0);
    Sleep(30);
    EXPECT_EQ(Ready(), 0u) << "a stopped stream produced";

    // Bounds from the stand-in's own clock, so neither can flake.
    uint64_t t0 = ept->EptSimNowMicros();
    ASSERT_EQ(ept->PtDllSetStreamEnable(h, 1), 0);
    uint64_t t1 = ept->EptSimNowMicros();
    Sleep(200);
    uint64_t t2 = ept->EptSimNowMicros();
    uint32_t ready = Ready();
    uint64_t t3 = ept->EptSimNowMicros();
    EXPECT_EQ(ready % kPacket, 0u);
    EXPECT_GE(ready, (t2 - t1) * rate / 1000000 / kPacket * kPacket);
    EXPECT_LE(ready, (t3 - t0) * rate / 1000000);
    EXPECT_EQ(Read(ready), Expected(0, ready));
}

TEST_F(StreamTest, ClockModeCapsTheBufferAndReaderSeesTheGap)
{
    ept->EptSimSetStreamMode(EPTSIM_MODE_CLOCK);
    ept->EptSimSetRate(0xFFFFFFFFu, 0);  // fills the buffer in a few ms
    Sleep(50);
    ASSERT_EQ(ept->PtDllSetStreamEnable(h, 0), 0);
    EptSimTuner t = Tuner(L"Ec1Bt1");
    EXPECT_LE(t.bytesReady, static_cast<uint32_t>(EPTSIM_BUFFER_BYTES));
    EXPECT_GT(t.bytesReady, static_cast<uint32_t>(EPTSIM_BUFFER_BYTES) - kPacket);
    EXPECT_GT(t.bytesRead, 0u);
    EXPECT_EQ(t.bytesRead % kPacket, 0u);
    Bytes got = Read(10 * kPacket);
    EXPECT_EQ(got, Expected(t.bytesRead, 10 * kPacket));
    ExpectContinuous(got, t.bytesRead / kPacket);
}
