// The transport stream a tuned channel sends when no file feeds it, and the
// packet edits shared with file feeds. Nothing is stored: packet k of a
// channel is rendered from k alone, so what a reader copied out and what a
// test renders again afterwards are the same bytes.
//
// A cycle of 64 packets, slot = k % 64:
//   0       PAT on PID 0: the channel's TS ID, program 1 with its PMT on 0x01F0
//   1       PMT on 0x01F0: program 1, PCR on 0x01FF, no elementary stream
//   2       SDT on 0x0011: service 1, its name the channel's name
//   3, 35   PCR on 0x01FF: adaptation field only, the PCR of the packet's
//           own position at the channel's rate
//   others  null packets (0x1FFF) whose payload bytes 0..7 hold k big-endian,
//           byte 8 the PT channel, byte j >= 9 is (k + j) & 0xFF: a reader
//           ignores them, a test can tell every packet apart
// Continuity counters count per PID from 0 at packet 0; packets without
// payload (PCR, nulls) keep 0.
#pragma once

#include <stdint.h>

enum {
    kTsPacketBytes = 188,
    kTsPatInterval = 64,
    kTsPatPid = 0x0000,
    kTsSdtPid = 0x0011,
    kTsPmtPid = 0x01F0,
    kTsPcrPid = 0x01FF,
    kTsNullPid = 0x1FFF,
    kTsServiceNameBytes = 32,
};

struct TsChannel {
    uint16_t tsId;
    uint8_t ptChannel;          // low byte of the tuned PT channel, 0xFF when none
    uint32_t bytesPerSecond;    // paces the PCRs
    char name[kTsServiceNameBytes];  // service name, NUL-terminated bytes
};

void TsRenderGenerated(const TsChannel& channel, uint64_t k, uint8_t* packet);

uint16_t TsPid(const uint8_t* packet);
bool TsHasPayload(const uint8_t* packet);
// In a packet that starts a PAT or an SDT section lying whole inside it, sets
// the section's transport_stream_id and recomputes its CRC; any other packet
// is left alone.
void TsSetTsId(uint8_t* packet, uint16_t tsId);
// PCR of a packet that carries one, in 27 MHz ticks; false when it has none.
bool TsReadPcr(const uint8_t* packet, uint64_t* pcr);
