#include "standin/Feed.h"

#include <string.h>

#include "standin/TsPackets.h"

namespace {

const uint8_t kSync = 0x47;

// A packet starts at data[at] when its sync byte is followed by another one
// a packet later, or when it is the last whole packet.
bool PacketAt(const uint8_t* data, size_t size, size_t at)
{
    if (data[at] != kSync || at + kTsPacketBytes > size)
        return false;
    return at + kTsPacketBytes == size || data[at + kTsPacketBytes] == kSync;
}

void FindRate(Feed* feed)
{
    feed->bytesPerSecond = 0;
    feed->firstPcrPacket = kNoPcr;
    uint16_t pcrPid = 0;
    uint64_t firstPcr = 0;
    uint64_t lastPcr = 0;
    uint32_t lastPacket = 0;
    for (uint32_t i = 0; i < feed->count; ++i) {
        const uint8_t* p = feed->packets + static_cast<size_t>(i) * kTsPacketBytes;
        uint64_t pcr = 0;
        if (!TsReadPcr(p, &pcr))
            continue;
        if (feed->firstPcrPacket == kNoPcr) {
            feed->firstPcrPacket = i;
            pcrPid = TsPid(p);
            firstPcr = pcr;
        } else if (TsPid(p) == pcrPid) {
            lastPcr = pcr;
            lastPacket = i;
        }
    }
    if (lastPacket == 0 || lastPcr <= firstPcr)
        return;
    uint64_t bytes = static_cast<uint64_t>(lastPacket - feed->firstPcrPacket) * kTsPacketBytes;
    uint64_t rate = bytes * 27000000ull / (lastPcr - firstPcr);
    feed->bytesPerSecond = rate > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<uint32_t>(rate);
}

// Per PID, the counter the pass after this one must start with, less the one
// this pass started with.
void FindCounterSteps(Feed* feed)
{
    uint8_t first[8192];
    uint8_t last[8192];
    bool seen[8192] = {};
    for (uint32_t i = 0; i < feed->count; ++i) {
        const uint8_t* p = feed->packets + static_cast<size_t>(i) * kTsPacketBytes;
        if (!TsHasPayload(p))
            continue;
        uint16_t pid = TsPid(p);
        if (!seen[pid])
            first[pid] = p[3] & 0x0F;
        seen[pid] = true;
        last[pid] = p[3] & 0x0F;
    }
    for (int pid = 0; pid < 8192; ++pid)
        feed->ccStep[pid] = seen[pid] ? static_cast<uint8_t>((last[pid] + 1 - first[pid]) & 0x0F) : 0;
}

}  // namespace

bool FeedParse(uint8_t* data, size_t size, Feed* feed)
{
    size_t kept = 0;
    size_t at = 0;
    while (at < size) {
        if (PacketAt(data, size, at)) {
            memmove(data + kept, data + at, kTsPacketBytes);
            kept += kTsPacketBytes;
            at += kTsPacketBytes;
        } else {
            ++at;
        }
    }
    feed->packets = data;
    feed->count = static_cast<uint32_t>(kept / kTsPacketBytes);
    if (feed->count == 0)
        return false;
    FindRate(feed);
    FindCounterSteps(feed);
    return true;
}

void FeedRenderPacket(const Feed& feed, uint64_t k, uint16_t tsId, uint8_t* packet)
{
    uint32_t index = static_cast<uint32_t>(k % feed.count);
    uint64_t pass = k / feed.count;
    memcpy(packet, feed.packets + static_cast<size_t>(index) * kTsPacketBytes, kTsPacketBytes);
    uint8_t step = feed.ccStep[TsPid(packet)];
    packet[3] = static_cast<uint8_t>((packet[3] & 0xF0) | ((packet[3] + pass * step) & 0x0F));
    if (pass > 0 && index == feed.firstPcrPacket)
        packet[5] |= 0x80;
    TsSetTsId(packet, tsId);
}
