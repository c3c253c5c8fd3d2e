// The TS analyser: alignment and resync, continuity counters, the PAT's TS ID,
// each also with the stream cut into reads at awkward places.
#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>

#include "host/analysis/TsAnalyzer.h"
#include "tests/host/TsBuilder.h"

namespace {

const size_t kPacket = 188;

void FeedInPieces(TsAnalyzer* ts, const Bytes& bytes, size_t piece)
{
    for (size_t at = 0; at < bytes.size(); at += piece)
        ts->Feed(bytes.data() + at, std::min(piece, bytes.size() - at));
}

struct Result {
    uint64_t packets, syncLosses, skipped, ccErrors;
    int32_t tsId;
    bool operator==(const Result& o) const
    {
        return packets == o.packets && syncLosses == o.syncLosses && skipped == o.skipped &&
               ccErrors == o.ccErrors && tsId == o.tsId;
    }
};

Result Analyse(const Bytes& bytes, size_t piece)
{
    TsAnalyzer ts;
    FeedInPieces(&ts, bytes, piece);
    EXPECT_EQ(ts.Bytes(), bytes.size());
    // Every byte is accounted for: in a packet, skipped, or held at the end.
    EXPECT_EQ(ts.Bytes(), ts.Packets() * kPacket + ts.SkippedBytes() + ts.PendingBytes());
    return {ts.Packets(), ts.SyncLosses(), ts.SkippedBytes(), ts.ContinuityErrors(), ts.TransportStreamId()};
}

// Packets on one PID with these counters.
Bytes Counters(uint16_t pid, std::initializer_list<int> counters)
{
    Bytes s;
    for (int cc : counters)
        Append(&s, DataPacket(pid, static_cast<uint8_t>(cc)));
    return s;
}

uint64_t ContinuityErrorsOf(const Bytes& bytes)
{
    TsAnalyzer ts;
    ts.Feed(bytes.data(), bytes.size());
    return ts.ContinuityErrors();
}

int32_t TsIdOf(const Bytes& bytes)
{
    TsAnalyzer ts;
    ts.Feed(bytes.data(), bytes.size());
    return ts.TransportStreamId();
}

// The pieces a stream is fed in: single bytes, just around a packet, and
// sizes that cut packets at ever-changing places.
const size_t kPieces[] = {1, 2, 7, 187, 188, 189, 376, 1000, 65536};

}  // namespace

TEST(TsBuilder, CrcIsTheMpeg2One)
{
    const uint8_t check[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    EXPECT_EQ(TestCrc32(check, sizeof check), 0x0376E6E7u);
}

// --- alignment ---

TEST(TsAlignment, CleanStreamIsCountedWhole)
{
    Bytes s = Stream(300, 0x4010);
    Result r = Analyse(s, s.size());
    EXPECT_EQ(r, (Result{300, 0, 0, 0, 0x4010}));
}

TEST(TsAlignment, ReadBoundariesChangeNothing)
{
    Bytes s = Stream(300, 0x4010);
    Result whole = Analyse(s, s.size());
    for (size_t piece : kPieces)
        EXPECT_EQ(Analyse(s, piece), whole) << "pieces of " << piece;
}

TEST(TsAlignment, PacketSplitAcrossTwoReadsIsCountedOnce)
{
    Bytes s = Counters(kDataPid, {0, 1, 2});
    TsAnalyzer ts;
    ts.Feed(s.data(), kPacket + 100);
    EXPECT_EQ(ts.Packets(), 1u);
    ts.Feed(s.data() + kPacket + 100, s.size() - kPacket - 100);
    EXPECT_EQ(ts.Packets(), 3u);
    EXPECT_EQ(ts.ContinuityErrors(), 0u);
}

TEST(TsAlignment, LeadingBytesAreSkippedWithoutASyncLoss)
{
    Bytes s(50, 0x00);
    s[10] = 0x47;  // a lone 0x47 must not be taken for a packet start
    Append(&s, Stream(10, 0x4010));
    for (size_t piece : kPieces)
        EXPECT_EQ(Analyse(s, piece), (Result{10, 0, 50, 0, 0x4010})) << "pieces of " << piece;
}

TEST(TsAlignment, GarbageBetweenPacketsIsOneSyncLossThenResync)
{
    // 0x47s inside the garbage, none of them 188 bytes before another.
    Bytes garbage(37, 0x5A);
    garbage[1] = 0x47;
    garbage[10] = 0x47;
    Bytes s = Stream(70, 0x4010);
    s.insert(s.begin() + 5 * kPacket, garbage.begin(), garbage.end());
    for (size_t piece : kPieces)
        EXPECT_EQ(Analyse(s, piece), (Result{70, 1, 37, 0, 0x4010})) << "pieces of " << piece;
}

TEST(TsAlignment, DroppedBytesLoseSyncAndTheNextPacket)
{
    // Packet 5 loses 20 bytes: it is read as a whole packet with the start of
    // packet 6 in it, so packet 6 is gone and the data PID's counter jumps.
    Bytes s = Stream(20, 0x4010);
    s.erase(s.begin() + 5 * kPacket + 100, s.begin() + 5 * kPacket + 120);
    for (size_t piece : kPieces)
        EXPECT_EQ(Analyse(s, piece), (Result{19, 1, kPacket - 20, 1, 0x4010})) << "pieces of " << piece;
}

TEST(TsAlignment, UnfinishedPacketIsNotCounted)
{
    Bytes s = Stream(3, 0x4010);
    TsAnalyzer ts;
    ts.Feed(s.data(), s.size() - 1);
    EXPECT_EQ(ts.Packets(), 2u);
    EXPECT_EQ(ts.SyncLosses(), 0u);
}

// --- continuity counters ---

TEST(TsContinuity, CounterWrapsAfter15)
{
    Bytes s;
    for (int i = 0; i < 40; ++i)
        Append(&s, DataPacket(kDataPid, static_cast<uint8_t>(i)));
    EXPECT_EQ(ContinuityErrorsOf(s), 0u);
}

TEST(TsContinuity, JumpIsCountedOnceAndCountingGoesOnFromIt)
{
    EXPECT_EQ(ContinuityErrorsOf(Counters(kDataPid, {0, 1, 2, 3, 7, 8, 9})), 1u);
    EXPECT_EQ(ContinuityErrorsOf(Counters(kDataPid, {14, 15, 1, 2})), 1u);
    EXPECT_EQ(ContinuityErrorsOf(Counters(kDataPid, {5, 4, 5})), 1u) << "going back is a jump too";
}

TEST(TsContinuity, DuplicateIsAllowedOnceInARow)
{
    EXPECT_EQ(ContinuityErrorsOf(Counters(kDataPid, {0, 1, 1, 2, 3, 3, 4})), 0u);
    EXPECT_EQ(ContinuityErrorsOf(Counters(kDataPid, {0, 1, 1, 1, 2})), 1u);
}

TEST(TsContinuity, AdaptationOnlyPacketsDoNotAdvance)
{
    Bytes s = Counters(kDataPid, {0, 1});
    Append(&s, AdaptationOnlyPacket(kDataPid, 1));
    Append(&s, Counters(kDataPid, {2}));
    Append(&s, AdaptationOnlyPacket(kDataPid, 9));
    Append(&s, Counters(kDataPid, {3}));
    EXPECT_EQ(ContinuityErrorsOf(s), 0u);
}

TEST(TsContinuity, EachPidCountsOnItsOwn)
{
    Bytes s;
    for (int i = 0; i < 20; ++i) {
        Append(&s, DataPacket(0x0100, static_cast<uint8_t>(i)));
        Append(&s, DataPacket(0x0200, static_cast<uint8_t>(i + 7)));
    }
    EXPECT_EQ(ContinuityErrorsOf(s), 0u);
    Append(&s, DataPacket(0x0200, 0));
    EXPECT_EQ(ContinuityErrorsOf(s), 1u);
}

TEST(TsContinuity, DiscontinuityIndicatorAcceptsAnyCounter)
{
    Bytes s = Counters(kDataPid, {0, 1, 2});
    Append(&s, DiscontinuityPacket(kDataPid, 9));
    Append(&s, Counters(kDataPid, {10, 11}));
    EXPECT_EQ(ContinuityErrorsOf(s), 0u);
}

TEST(TsContinuity, NullPacketsAreNotChecked)
{
    EXPECT_EQ(ContinuityErrorsOf(Counters(0x1FFF, {0, 0, 0, 5, 3})), 0u);
}

TEST(TsContinuity, PacketsWithTransportErrorAreSetAside)
{
    Bytes bad = DataPacket(kDataPid, 9);
    bad[1] |= 0x80;
    Bytes s = Counters(kDataPid, {0, 1});
    Append(&s, bad);
    Append(&s, Counters(kDataPid, {2}));
    TsAnalyzer ts;
    ts.Feed(s.data(), s.size());
    EXPECT_EQ(ts.Packets(), 4u);
    EXPECT_EQ(ts.ErrorPackets(), 1u);
    EXPECT_EQ(ts.ContinuityErrors(), 0u);
}

TEST(TsContinuity, ScrambledPacketsAreCountedButNotErrorPackets)
{
    Bytes s = Counters(kDataPid, {0, 1, 2, 3});
    s[2 * 188 + 3] |= 0x80;  // even key
    s[3 * 188 + 3] |= 0xC0;  // odd key
    s[1 * 188 + 1] |= 0x80;
    s[1 * 188 + 3] |= 0x80;  // with a transport error it is only an error
    TsAnalyzer ts;
    ts.Feed(s.data(), s.size());
    EXPECT_EQ(ts.ScrambledPackets(), 2u);
    EXPECT_EQ(ts.ErrorPackets(), 1u);
}

// --- PAT and TS ID ---

TEST(TsPat, NoPatNoTsId)
{
    EXPECT_EQ(TsIdOf(Counters(kDataPid, {0, 1, 2})), -1);
}

TEST(TsPat, TsIdComesFromTheLatestIntactPat)
{
    Bytes s = PatPacket(0x4010, 0);
    EXPECT_EQ(TsIdOf(s), 0x4010);
    Append(&s, PatPacket(0x7C0D, 1));
    EXPECT_EQ(TsIdOf(s), 0x7C0D);

    Bytes corrupt = PatPacket(0x1234, 2);
    corrupt[5 + 4] ^= 0x01;  // a bit of the TS ID itself, so the CRC fails
    Append(&s, corrupt);
    EXPECT_EQ(TsIdOf(s), 0x7C0D);
}

TEST(TsPat, OnlyACurrentPatCounts)
{
    Bytes payload(1, 0x00);
    Append(&payload, PatSection(0x4010, 1, false));
    EXPECT_EQ(TsIdOf(PayloadPacket(0x0000, 0, true, payload)), -1);
}

TEST(TsPat, PatAfterAnAdaptationField)
{
    Bytes p = PatPacket(0x4010, 0);
    // Room for an adaptation field of 8 bytes: move the payload along.
    Bytes q(p.begin(), p.begin() + 4);
    q[3] = static_cast<uint8_t>(0x30 | (q[3] & 0x0F));
    q.push_back(7);
    q.push_back(0x00);
    q.insert(q.end(), 6, 0xFF);
    q.insert(q.end(), p.begin() + 4, p.begin() + 4 + (kPacket - q.size()));
    EXPECT_EQ(TsIdOf(q), 0x4010);
}

namespace {

// A section in as many PAT packets as it needs, counters from firstCc on.
std::vector<Bytes> SectionPackets(const Bytes& section, uint8_t firstCc)
{
    std::vector<Bytes> packets;
    Bytes payload(1, 0x00);  // pointer_field
    size_t at = 0;
    while (at < section.size()) {
        size_t take = std::min(section.size() - at, kPacket - 4 - payload.size());
        payload.insert(payload.end(), section.begin() + at, section.begin() + at + take);
        packets.push_back(PayloadPacket(0x0000, static_cast<uint8_t>(firstCc + packets.size()), at == 0, payload));
        payload.clear();
        at += take;
    }
    return packets;
}

Bytes Join(const std::vector<Bytes>& packets)
{
    Bytes s;
    for (const Bytes& p : packets)
        Append(&s, p);
    return s;
}

}  // namespace

TEST(TsPat, SectionSpanningPackets)
{
    for (size_t programs : {60, 100}) {
        Bytes s = Join(SectionPackets(PatSection(0x4010, programs), 3));
        ASSERT_GT(s.size(), kPacket);
        for (size_t piece : kPieces)
            EXPECT_EQ(Analyse(s, piece).tsId, 0x4010) << programs << " programs, pieces of " << piece;
    }
}

TEST(TsPat, SpanningSectionIsDroppedWhenAPacketIsLost)
{
    std::vector<Bytes> packets = SectionPackets(PatSection(0x4010, 100), 3);
    ASSERT_EQ(packets.size(), 3u);
    packets.erase(packets.begin() + 1);
    EXPECT_EQ(TsIdOf(Join(packets)), -1);
}

TEST(TsPat, DuplicatePacketDoesNotRepeatSectionBytes)
{
    std::vector<Bytes> packets = SectionPackets(PatSection(0x4010, 100), 3);
    packets.insert(packets.begin() + 1, packets[1]);
    EXPECT_EQ(TsIdOf(Join(packets)), 0x4010);
}

TEST(TsPat, BytesBeforeThePointerEndThePreviousSection)
{
    // The second packet starts a unit: its pointer_field covers the tail of
    // the long section, then comes a new section or stuffing.
    Bytes section = PatSection(0x1111, 60);
    Bytes first = SectionPackets(section, 0)[0];
    const size_t inFirst = kPacket - 5;
    Bytes second;
    second.push_back(static_cast<uint8_t>(section.size() - inFirst));
    second.insert(second.end(), section.begin() + inFirst, section.end());

    Bytes thenStuffing = first;
    Append(&thenStuffing, PayloadPacket(0x0000, 1, true, second));
    EXPECT_EQ(TsIdOf(thenStuffing), 0x1111);

    Append(&second, PatSection(0x2222));
    Bytes thenNew = first;
    Append(&thenNew, PayloadPacket(0x0000, 1, true, second));
    EXPECT_EQ(TsIdOf(thenNew), 0x2222);
}

TEST(TsPat, PatSplitAcrossReadsInsideTheSection)
{
    Bytes s = Counters(kDataPid, {0});
    Append(&s, PatPacket(0x4010, 0));
    TsAnalyzer ts;
    size_t cut = kPacket + 12;  // inside the TS ID field of the section
    ts.Feed(s.data(), cut);
    EXPECT_EQ(ts.TransportStreamId(), -1);
    ts.Feed(s.data() + cut, s.size() - cut);
    EXPECT_EQ(ts.TransportStreamId(), 0x4010);
}

TEST(TsAnalyzer, CountsErrorsAndScrambledPacketsPerPid)
{
    Bytes s = Counters(0x0101, {0, 1, 3, 4});
    Bytes broken = DataPacket(0x0102, 0);
    broken[1] |= 0x80;  // transport_error_indicator
    Append(&s, broken);
    Bytes scrambled = DataPacket(0x0103, 0);
    scrambled[3] |= 0x80;  // transport_scrambling_control 2
    Append(&s, scrambled);
    s.resize(s.size() + 100, 0x47);  // a partial packet at the end
    TsAnalyzer ts;
    ts.Feed(s.data(), s.size());
    const auto& pid = ts.PerPid();
    EXPECT_EQ(pid[0x0101].packets, 4u);
    EXPECT_EQ(pid[0x0101].continuityErrors, 1u);
    EXPECT_EQ(pid[0x0102].transportErrors, 1u);
    EXPECT_EQ(pid[0x0103].scrambled, 1u);
    EXPECT_EQ(ts.ScrambledPackets(), 1u);
    EXPECT_EQ(ts.ErrorPackets(), 1u);
    EXPECT_EQ(ts.PendingBytes(), 100u);
}
