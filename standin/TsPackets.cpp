#include "standin/TsPackets.h"

#include <string.h>

#include "ts/MpegCrc32.h"

namespace {

const uint16_t kProgramNumber = 1;
// "Zendrel stand-in": the provider of every generated service.
const uint8_t kProvider[] = {0x5A, 0x65, 0x6E, 0x64, 0x72, 0x65, 0x6C, 0x20,
                             0x73, 0x74, 0x61, 0x6E, 0x64, 0x2D, 0x69, 0x6E};

uint8_t CycleCounter(uint64_t k)
{
    return static_cast<uint8_t>((k / kTsPatInterval) & 0x0F);
}

void Header(uint8_t* p, uint16_t pid, bool unitStart, uint8_t control, uint8_t cc)
{
    memset(p, 0xFF, kTsPacketBytes);
    p[0] = 0x47;
    p[1] = static_cast<uint8_t>((unitStart ? 0x40 : 0x00) | (pid >> 8));
    p[2] = static_cast<uint8_t>(pid);
    p[3] = static_cast<uint8_t>(control | (cc & 0x0F));
}

void Put16(uint8_t* at, uint16_t value)
{
    at[0] = static_cast<uint8_t>(value >> 8);
    at[1] = static_cast<uint8_t>(value);
}

void PutCrc(uint8_t* section, uint32_t sizeBeforeCrc)
{
    uint32_t crc = MpegCrc32(section, sizeBeforeCrc);
    for (int i = 0; i < 4; ++i)
        section[sizeBeforeCrc + i] = static_cast<uint8_t>(crc >> (24 - 8 * i));
}

// A section packet: header, pointer_field 0, and the section's first bytes
// (table_id, flags and length, table_id_extension, version, numbers).
uint8_t* SectionStart(uint8_t* p, uint16_t pid, uint64_t k, uint8_t tableId, uint32_t length,
                      uint16_t extension)
{
    Header(p, pid, true, 0x10, CycleCounter(k));
    p[4] = 0x00;
    uint8_t* s = p + 5;
    s[0] = tableId;
    s[1] = static_cast<uint8_t>(0xB0 | (length >> 8));
    s[2] = static_cast<uint8_t>(length);
    Put16(s + 3, extension);
    s[5] = 0xC1;  // version 0, current_next_indicator
    s[6] = 0x00;
    s[7] = 0x00;
    return s;
}

void RenderPat(const TsChannel& ch, uint64_t k, uint8_t* p)
{
    uint8_t* s = SectionStart(p, kTsPatPid, k, 0x00, 13, ch.tsId);
    Put16(s + 8, kProgramNumber);
    Put16(s + 10, 0xE000 | kTsPmtPid);
    PutCrc(s, 12);
}

void RenderPmt(uint64_t k, uint8_t* p)
{
    uint8_t* s = SectionStart(p, kTsPmtPid, k, 0x02, 13, kProgramNumber);
    Put16(s + 8, 0xE000 | kTsPcrPid);
    Put16(s + 10, 0xF000);  // program_info_length 0
    PutCrc(s, 12);
}

void RenderSdt(const TsChannel& ch, uint64_t k, uint8_t* p)
{
    uint32_t nameBytes = static_cast<uint32_t>(strnlen(ch.name, sizeof ch.name));
    uint32_t descriptor = 2 + 1 + 1 + sizeof kProvider + 1 + nameBytes;
    uint32_t length = 8 + 5 + descriptor + 4;
    uint8_t* s = SectionStart(p, kTsSdtPid, k, 0x42, length, ch.tsId);
    s[1] = static_cast<uint8_t>(0xF0 | (length >> 8));  // SDT: reserved_future_use set
    Put16(s + 8, ch.tsId);  // original_network_id
    s[10] = 0xFF;
    uint8_t* service = s + 11;
    Put16(service, kProgramNumber);
    service[2] = 0xFC;  // no EIT
    Put16(service + 3, static_cast<uint16_t>(0x8000 | descriptor));  // running, free
    uint8_t* d = service + 5;
    d[0] = 0x48;  // service_descriptor
    d[1] = static_cast<uint8_t>(descriptor - 2);
    d[2] = 0x01;  // digital television service
    d[3] = sizeof kProvider;
    memcpy(d + 4, kProvider, sizeof kProvider);
    d[4 + sizeof kProvider] = static_cast<uint8_t>(nameBytes);
    memcpy(d + 5 + sizeof kProvider, ch.name, nameBytes);
    PutCrc(s, length - 1);
}

// The 27 MHz clock at the first byte of packet k, split so that nothing
// overflows for any k a stream can reach.
uint64_t PcrAt(uint64_t k, uint32_t bytesPerSecond)
{
    uint64_t rate = bytesPerSecond != 0 ? bytesPerSecond : 1;
    uint64_t bytes = k * kTsPacketBytes;
    return bytes / rate * 27000000ull + bytes % rate * 27000000ull / rate;
}

void RenderPcr(const TsChannel& ch, uint64_t k, uint8_t* p)
{
    Header(p, kTsPcrPid, false, 0x20, 0);
    p[4] = 183;   // adaptation_field_length: the rest of the packet
    p[5] = 0x10;  // PCR_flag
    uint64_t pcr = PcrAt(k, ch.bytesPerSecond);
    uint64_t base = pcr / 300 & 0x1FFFFFFFFull;
    uint32_t extension = static_cast<uint32_t>(pcr % 300);
    p[6] = static_cast<uint8_t>(base >> 25);
    p[7] = static_cast<uint8_t>(base >> 17);
    p[8] = static_cast<uint8_t>(base >> 9);
    p[9] = static_cast<uint8_t>(base >> 1);
    p[10] = static_cast<uint8_t>((base & 1) << 7 | 0x7E | extension >> 8);
    p[11] = static_cast<uint8_t>(extension);
}

// Most packets are these; every byte is written once.
void RenderNull(const TsChannel& ch, uint64_t k, uint8_t* p)
{
    p[0] = 0x47;
    p[1] = kTsNullPid >> 8;
    p[2] = kTsNullPid & 0xFF;
    p[3] = 0x10;
    uint8_t* payload = p + 4;
    for (int i = 0; i < 8; ++i)
        payload[i] = static_cast<uint8_t>(k >> (56 - 8 * i));
    payload[8] = ch.ptChannel;
    for (uint32_t j = 9; j < kTsPacketBytes - 4; ++j)
        payload[j] = static_cast<uint8_t>(k + j);
}

}  // namespace

void TsRenderGenerated(const TsChannel& channel, uint64_t k, uint8_t* packet)
{
    switch (k % kTsPatInterval) {
    case 0: RenderPat(channel, k, packet); break;
    case 1: RenderPmt(k, packet); break;
    case 2: RenderSdt(channel, k, packet); break;
    case 3:
    case 35: RenderPcr(channel, k, packet); break;
    default: RenderNull(channel, k, packet); break;
    }
}

uint16_t TsPid(const uint8_t* packet)
{
    return static_cast<uint16_t>((packet[1] & 0x1F) << 8 | packet[2]);
}

bool TsHasPayload(const uint8_t* packet)
{
    return (packet[3] & 0x10) != 0;
}

void TsSetTsId(uint8_t* packet, uint16_t tsId)
{
    uint16_t pid = TsPid(packet);
    if ((pid != kTsPatPid && pid != kTsSdtPid) || !(packet[1] & 0x40) || !TsHasPayload(packet))
        return;
    uint32_t at = 4;
    if (packet[3] & 0x20)
        at += 1 + packet[4];
    if (at >= kTsPacketBytes)
        return;
    at += 1 + packet[at];  // pointer_field
    if (at + 8 > kTsPacketBytes)
        return;
    uint8_t* s = packet + at;
    uint32_t size = 3 + ((s[1] & 0x0F) << 8 | s[2]);
    bool known = (pid == kTsPatPid && s[0] == 0x00) || (pid == kTsSdtPid && s[0] == 0x42);
    if (!known || size < 12 || at + size > kTsPacketBytes)
        return;
    Put16(s + 3, tsId);
    PutCrc(s, size - 4);
}

bool TsReadPcr(const uint8_t* packet, uint64_t* pcr)
{
    if (!(packet[3] & 0x20) || packet[4] < 7 || !(packet[5] & 0x10))
        return false;
    const uint8_t* b = packet + 6;
    uint64_t base = static_cast<uint64_t>(b[0]) << 25 | b[1] << 17 | b[2] << 9 | b[3] << 1 | b[4] >> 7;
    *pcr = base * 300 + ((b[4] & 1) << 8 | b[5]);
    return true;
}
