// What a TS reader finds in a tuned channel's stream: generated, or fed from a
// file played in a loop.
#include <stdio.h>
#include <string.h>

#include <map>
#include <string>

#include "tests/standin/Standin.h"
#include "ts/MpegCrc32.h"

namespace {

const size_t kPacket = 188;

uint16_t Pid(const uint8_t* p)
{
    return static_cast<uint16_t>((p[1] & 0x1F) << 8 | p[2]);
}

// The section starting in a packet with pointer_field 0, checked whole with
// its CRC; empty when there is none.
Bytes Section(const uint8_t* p)
{
    if (!(p[1] & 0x40) || (p[3] & 0x30) != 0x10 || p[4] != 0)
        return Bytes();
    const uint8_t* s = p + 5;
    size_t size = 3 + ((s[1] & 0x0F) << 8 | s[2]);
    if (5 + size > kPacket || MpegCrc32(s, size) != 0)
        return Bytes();
    return Bytes(s, s + size);
}

// Per PID, the sections that start in the packets, in order.
std::map<uint16_t, std::vector<Bytes>> Sections(const Bytes& stream)
{
    std::map<uint16_t, std::vector<Bytes>> found;
    for (size_t at = 0; at + kPacket <= stream.size(); at += kPacket) {
        Bytes s = Section(&stream[at]);
        if (!s.empty())
            found[Pid(&stream[at])].push_back(s);
    }
    return found;
}

uint64_t Pcr(const uint8_t* p)
{
    const uint8_t* b = p + 6;
    uint64_t base = static_cast<uint64_t>(b[0]) << 25 | b[1] << 17 | b[2] << 9 | b[3] << 1 | b[4] >> 7;
    return base * 300 + ((b[4] & 1) << 8 | b[5]);
}

// A small file to feed a channel: per pass, packet 0 a PAT with TS ID 1,
// packet 1 a PCR on 0x0100, then data packets on 0x0100 and 0x0101 with
// counters starting at 5 and 9, the last packet another PCR 10 ms later.
Bytes FeedFile(uint32_t packets)
{
    Bytes file;
    auto add = [&](uint16_t pid, uint8_t control, uint8_t cc) {
        Bytes p(kPacket, 0xFF);
        p[0] = 0x47;
        p[1] = static_cast<uint8_t>(pid >> 8);
        p[2] = static_cast<uint8_t>(pid);
        p[3] = static_cast<uint8_t>(control | cc);
        file.insert(file.end(), p.begin(), p.end());
        return file.end() - kPacket;
    };
    Bytes::iterator pat = add(0x0000, 0x10, 0);
    const uint8_t section[12] = {0x00, 0xB0, 13, 0x00, 0x01, 0xC1, 0x00, 0x00, 0x00, 0x01, 0xE1, 0x00};
    pat[1] |= 0x40;
    pat[4] = 0;
    std::copy(section, section + 12, pat + 5);
    uint32_t crc = MpegCrc32(section, 12);
    for (int i = 0; i < 4; ++i)
        pat[17 + i] = static_cast<uint8_t>(crc >> (24 - 8 * i));
    uint8_t cc[2] = {5, 9};
    for (uint32_t i = 1; i < packets; ++i) {
        bool pcr = i == 1 || i == packets - 1;
        uint16_t pid = static_cast<uint16_t>(0x0100 + i % 2);
        Bytes::iterator p = add(pid, pcr ? 0x30 : 0x10, cc[i % 2]++ & 0x0F);
        if (pcr) {
            // 10 ms apart: base 0 and 900 (90 kHz).
            uint32_t base = i == 1 ? 0 : 900;
            const uint8_t field[8] = {7, 0x10, 0, 0, static_cast<uint8_t>(base >> 9), static_cast<uint8_t>(base >> 1),
                                      static_cast<uint8_t>((base & 1) << 7 | 0x7E), 0};
            std::copy(field, field + 8, p + 4);
        }
    }
    return file;
}

class ContentTest : public PushedStreamTest
{
protected:
    // The stream's first packets as the stand-in renders them again.
    Bytes Rendered(int32_t handle, uint32_t packets)
    {
        Bytes out(packets * kPacket);
        ept->EptSimStreamBytes(handle, 0, out.data(), static_cast<uint32_t>(out.size()));
        return out;
    }

    Folder folder;
};

}  // namespace

TEST_F(ContentTest, GeneratedStreamNamesItsProgramServiceAndClock)
{
    const uint32_t rate = 188 * 10000;  // a packet every 100 us
    ept->EptSimSetRate(rate, 0);
    int32_t h = Tune(L"Ec1Bt1", 5);
    Bytes stream = Push(h, 128);
    auto sections = Sections(stream);

    ASSERT_EQ(sections[0x0000].size(), 2u);
    const Bytes& pat = sections[0x0000][0];
    EXPECT_EQ(pat[3] << 8 | pat[4], 0x7C05);
    uint16_t pmtPid = static_cast<uint16_t>((pat[10] & 0x1F) << 8 | pat[11]);
    ASSERT_EQ(sections[pmtPid].size(), 2u) << "a PMT on the PID the PAT names";
    const Bytes& pmt = sections[pmtPid][0];
    EXPECT_EQ(pmt[0], 0x02);
    EXPECT_EQ(pmt[3] << 8 | pmt[4], pat[8] << 8 | pat[9]) << "the PAT's program";
    uint16_t pcrPid = static_cast<uint16_t>((pmt[8] & 0x1F) << 8 | pmt[9]);

    ASSERT_EQ(sections[0x0011].size(), 2u);
    const Bytes& sdt = sections[0x0011][0];
    EXPECT_EQ(sdt[0], 0x42);
    EXPECT_EQ(sdt[3] << 8 | sdt[4], 0x7C05);
    std::string text(sdt.begin(), sdt.end());
    EXPECT_NE(text.find("\x04" "18ch"), std::string::npos) << "service named after channel 5 of the list";

    std::vector<std::pair<size_t, uint64_t>> pcrs;
    size_t nulls = 0;
    for (size_t k = 0; k < 128; ++k) {
        const uint8_t* p = &stream[k * kPacket];
        if (Pid(p) == pcrPid && (p[3] & 0x20) && (p[5] & 0x10))
            pcrs.push_back({k, Pcr(p)});
        nulls += Pid(p) == 0x1FFF;
    }
    ASSERT_EQ(pcrs.size(), 4u);
    EXPECT_EQ(pcrs[3].second - pcrs[0].second, (pcrs[3].first - pcrs[0].first) * 2700) << "27 MHz at the rate";
    EXPECT_EQ(nulls, 128u - 10) << "the rest is stuffing";
}

TEST_F(ContentTest, SatelliteTsIdIsTheOneSelectedWhenThePacketWasProduced)
{
    int32_t h = Tune(L"Ec1Bs1", 0, 0x4010);
    ept->EptSimPushBytes(h, 64 * kPacket);
    ASSERT_EQ(ept->PtDllSetIdS(h, 0x4011), 0);
    ept->EptSimPushBytes(h, 64 * kPacket);
    auto sections = Sections(ReadReady(h));
    ASSERT_EQ(sections[0x0000].size(), 2u);
    EXPECT_EQ(sections[0x0000][0][3] << 8 | sections[0x0000][0][4], 0x4010) << "buffered before the change";
    EXPECT_EQ(sections[0x0000][1][3] << 8 | sections[0x0000][1][4], 0x4011);
    std::string sdt(sections[0x0011][1].begin(), sections[0x0011][1].end());
    EXPECT_NE(sdt.find("BS1 0x4011"), std::string::npos);
}

TEST_F(ContentTest, FedChannelLoopsWithContinuityTsIdAndATimeBaseDiscontinuity)
{
    const uint32_t packets = 50;
    Bytes file = FeedFile(packets);
    Bytes withGarbage(file.begin(), file.end());
    withGarbage.insert(withGarbage.begin(), 7, 0x00);  // bytes before the first packet are dropped
    ASSERT_TRUE(folder.Write(L"feed.ts", std::string(withGarbage.begin(), withGarbage.end())));
    ASSERT_EQ(ept->EptSimSetFeed(1, 4, 0x4090, folder.Path(L"feed.ts").c_str(), 0), 0);

    int32_t h = Tune(L"Ec1Bs1", 4, 0x4090);
    // 48 packets between the PCRs 10 ms apart.
    EXPECT_EQ(Tuner(L"Ec1Bs1").bytesPerSecond, 48u * 188 * 100);
    Bytes stream = Push(h, packets * 5 / 2);
    ASSERT_EQ(stream.size(), packets * 5 / 2 * kPacket);

    std::map<uint16_t, int> last;
    for (size_t k = 0; k < packets * 5 / 2; ++k) {
        const uint8_t* p = &stream[k * kPacket];
        const uint8_t* original = &file[k % packets * kPacket];
        ASSERT_EQ(Pid(p), Pid(original)) << "packet " << k;
        auto seen = last.find(Pid(p));
        if (seen != last.end())
            ASSERT_EQ(p[3] & 0x0F, (seen->second + 1) & 0x0F) << "continuity break at packet " << k;
        last[Pid(p)] = p[3] & 0x0F;
        bool discontinuity = (p[3] & 0x20) && (p[5] & 0x80);
        bool seam = k == packets + 1 || k == 2 * packets + 1;
        EXPECT_EQ(discontinuity, seam) << "packet " << k;
        if (Pid(p) == 0) {
            Bytes pat = Section(p);
            ASSERT_FALSE(pat.empty()) << "the CRC is made anew";
            EXPECT_EQ(pat[3] << 8 | pat[4], 0x4090);
            EXPECT_EQ(Bytes(pat.begin() + 5, pat.end() - 4), Bytes(original + 10, original + 17));
        } else {
            Bytes payload(original + 4, original + kPacket);
            payload[1] |= seam ? 0x80 : 0x00;
            EXPECT_EQ(Bytes(p + 4, p + kPacket), payload);
        }
    }
    EXPECT_EQ(Rendered(h, 64), Bytes(stream.begin(), stream.begin() + 64 * kPacket));

    // A set rate wins over the file's own.
    ASSERT_EQ(ept->EptSimSetFeed(1, 4, 0x4090, folder.Path(L"feed.ts").c_str(), 123456), 0);
    EXPECT_EQ(Tuner(L"Ec1Bs1").bytesPerSecond, 123456u);
}

TEST_F(ContentTest, ShippedClipFeedsAtItsOwnRateAndBadFilesAreRefused)
{
    ASSERT_EQ(ept->EptSimSetFeed(0, 3, 0, ClipPath().c_str(), 0), 0);
    Tune(L"Ec1Bt1", 3);
    // The clip's PCRs span 3,758 packets in 3.92 s.
    EXPECT_EQ(Tuner(L"Ec1Bt1").bytesPerSecond, 180230u);

    ASSERT_TRUE(folder.Write(L"text.ts", "no packets here\r\n"));
    EXPECT_EQ(ept->EptSimSetFeed(0, 3, 0, folder.Path(L"text.ts").c_str(), 0), -1);
    EXPECT_EQ(ept->EptSimSetFeed(0, 3, 0, folder.Path(L"missing.ts").c_str(), 0), -1);
    EXPECT_EQ(Tuner(L"Ec1Bt1").bytesPerSecond, 180230u) << "a refused file leaves the feed as it was";
    ASSERT_EQ(ept->EptSimSetFeed(0, 3, 0, nullptr, 0), 0);
    EXPECT_EQ(Tuner(L"Ec1Bt1").bytesPerSecond, 2106000u) << "removed";
}
