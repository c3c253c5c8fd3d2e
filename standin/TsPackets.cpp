#include "standin/TsPackets.h"

#include <string.h>

#include "ts/MpegCrc32.h"

namespace {

// How many of packets 0..k-1 went out on the same PID as packet k; its
// continuity counter is that count modulo 16.
uint8_t ContinuityCounter(uint64_t k)
{
    uint64_t patsBefore = (k + kTsPatInterval - 1) / kTsPatInterval;
    uint64_t sent = (k % kTsPatInterval == 0) ? patsBefore : k - patsBefore;
    return static_cast<uint8_t>(sent & 0x0F);
}

void RenderPat(const TsStreamId& id, uint64_t k, uint8_t* p)
{
    memset(p, 0xFF, kTsPacketBytes);
    p[0] = 0x47;
    p[1] = 0x40;  // payload_unit_start, PID 0
    p[2] = 0x00;
    p[3] = static_cast<uint8_t>(0x10 | ContinuityCounter(k));  // payload only
    p[4] = 0x00;  // pointer_field
    uint8_t* section = p + 5;
    section[0] = 0x00;  // table_id: program_association_section
    section[1] = 0xB0;  // section_syntax_indicator, section_length < 256
    section[2] = 13;    // 5 header bytes + one program + CRC
    section[3] = static_cast<uint8_t>(id.tsId >> 8);
    section[4] = static_cast<uint8_t>(id.tsId);
    section[5] = 0xC1;  // version 0, current_next_indicator
    section[6] = 0x00;  // section_number
    section[7] = 0x00;  // last_section_number
    section[8] = 0x00;  // program_number 1
    section[9] = 0x01;
    section[10] = static_cast<uint8_t>(0xE0 | (kTsPmtPid >> 8));
    section[11] = static_cast<uint8_t>(kTsPmtPid);
    uint32_t crc = MpegCrc32(section, 12);
    section[12] = static_cast<uint8_t>(crc >> 24);
    section[13] = static_cast<uint8_t>(crc >> 16);
    section[14] = static_cast<uint8_t>(crc >> 8);
    section[15] = static_cast<uint8_t>(crc);
}

void RenderData(const TsStreamId& id, uint64_t k, uint8_t* p)
{
    p[0] = 0x47;
    p[1] = static_cast<uint8_t>(kTsDataPid >> 8);
    p[2] = static_cast<uint8_t>(kTsDataPid & 0xFF);
    p[3] = static_cast<uint8_t>(0x10 | ContinuityCounter(k));
    uint8_t* payload = p + 4;
    for (int i = 0; i < 8; ++i)
        payload[i] = static_cast<uint8_t>(k >> (56 - 8 * i));
    payload[8] = id.ptChannel;
    for (uint32_t j = 9; j < kTsPacketBytes - 4; ++j)
        payload[j] = static_cast<uint8_t>(k + j);
}

void RenderPacket(const TsStreamId& id, uint64_t k, uint8_t* p)
{
    if (k % kTsPatInterval == 0)
        RenderPat(id, k, p);
    else
        RenderData(id, k, p);
}

}  // namespace

void TsRenderBytes(const TsStreamId& id, uint64_t offset, uint8_t* dest, uint32_t size)
{
    uint64_t k = offset / kTsPacketBytes;
    uint32_t skip = static_cast<uint32_t>(offset % kTsPacketBytes);
    uint8_t packet[kTsPacketBytes];
    while (size > 0) {
        uint32_t take = kTsPacketBytes - skip;
        if (take > size)
            take = size;
        if (take == kTsPacketBytes) {
            RenderPacket(id, k, dest);
        } else {
            RenderPacket(id, k, packet);
            memcpy(dest, packet + skip, take);
        }
        dest += take;
        size -= take;
        skip = 0;
        ++k;
    }
}
