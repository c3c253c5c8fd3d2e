// The simulated transport stream of one tuner: an endless run of 188-byte
// packets, numbered from 0 at each tune. Nothing is stored; any byte range is
// rendered on demand from its offset, so what a reader copies out and what a
// test asks for afterwards are the same bytes.
//
// Packet k:
//  - k % 64 == 0: a PAT on PID 0 carrying the stream's TS ID and one program
//    (number 1, PMT on PID 0x01F0), CRC-protected, stuffed with 0xFF.
//  - otherwise PID 0x0100, no payload_unit_start; payload bytes 0..7 hold k
//    big-endian, byte 8 the PT channel, byte j >= 9 is (k + j) & 0xFF.
// Continuity counters count per PID from 0 at packet 0.
#pragma once

#include <stdint.h>

enum {
    kTsPacketBytes = 188,
    kTsPatInterval = 64,
    kTsDataPid = 0x0100,
    kTsPmtPid = 0x01F0,
};

struct TsStreamId {
    uint16_t tsId;       // transport_stream_id of the PAT
    uint8_t ptChannel;   // low byte of the tuned PT channel, 0xFF when none
};

// Renders bytes [offset, offset + size) of the stream.
void TsRenderBytes(const TsStreamId& id, uint64_t offset, uint8_t* dest, uint32_t size);
