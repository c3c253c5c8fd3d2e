// Builds transport stream bytes for the analyser's tests: packets with any
// header, PAT sections with a real CRC, and whole streams.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <vector>

using Bytes = std::vector<uint8_t>;

const uint16_t kDataPid = 0x0100;

// MPEG-2 CRC-32 of PSI sections, computed independently of the analyser's.
uint32_t TestCrc32(const uint8_t* data, size_t size);

// A PAT section with this many programs; 43 or more make it longer than one
// packet's payload.
Bytes PatSection(uint16_t tsId, size_t programs = 1, bool current = true);

// A payload-only packet; the payload is cut to fit or padded with 0xFF.
Bytes PayloadPacket(uint16_t pid, uint8_t cc, bool unitStart, const Bytes& payload);

// Payload-only packet whose payload never holds 0x47 and differs from one
// packet to the next, as real payload does.
Bytes DataPacket(uint16_t pid, uint8_t cc);
// Adaptation field only, no payload.
Bytes AdaptationOnlyPacket(uint16_t pid, uint8_t cc);
// Adaptation field with discontinuity_indicator set, then payload.
Bytes DiscontinuityPacket(uint16_t pid, uint8_t cc);
// One packet holding a whole PAT section after pointer_field 0.
Bytes PatPacket(uint16_t tsId, uint8_t cc);

// packets packets as a tuned channel sends them: a PAT every 64 packets,
// data on kDataPid in between, counters running per PID.
Bytes Stream(size_t packets, uint16_t tsId);

void Append(Bytes* to, const Bytes& what);
