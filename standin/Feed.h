// A transport-stream file that feeds a channel, played in a loop.
//
// At load the file's 188-byte packets are gathered (bytes outside a packet
// are dropped), and from them: the file's own rate, from the first and the
// last PCR of its first PCR PID; and per PID what one pass adds to the
// continuity counters, so that packet k of the endless stream, file packet
// k % count in pass k / count, continues every PID's counters across the
// seam. In every pass after the first, the first packet carrying a PCR gets
// the discontinuity_indicator, since the time stamps jump back there. PAT and
// SDT sections carry the tuned TS ID, their CRC made anew.
#pragma once

#include <stddef.h>
#include <stdint.h>

struct Feed {
    uint8_t* packets;         // count packets
    uint32_t count;
    uint32_t bytesPerSecond;  // from the PCRs; 0 when they give none
    uint32_t firstPcrPacket;  // kNoPcr when no packet carries a PCR
    uint8_t ccStep[8192];     // per PID, added to its counters by each pass
};

enum { kNoPcr = 0xFFFFFFFFu };

// Gathers the packets of data[0..size) in place and fills the rest of feed;
// feed->packets = data. False when there is no whole packet.
bool FeedParse(uint8_t* data, size_t size, Feed* feed);

// Packet k of the looped stream with the tuned TS ID.
void FeedRenderPacket(const Feed& feed, uint64_t k, uint16_t tsId, uint8_t* packet);
