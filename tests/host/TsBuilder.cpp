#include "tests/host/TsBuilder.h"

namespace {

const size_t kPacket = 188;

Bytes Header(uint16_t pid, uint8_t cc, bool unitStart, uint8_t control)
{
    Bytes p(kPacket, 0xFF);
    p[0] = 0x47;
    p[1] = static_cast<uint8_t>((unitStart ? 0x40 : 0x00) | (pid >> 8));
    p[2] = static_cast<uint8_t>(pid);
    p[3] = static_cast<uint8_t>(control | (cc & 0x0F));
    return p;
}

}  // namespace

uint32_t TestCrc32(const uint8_t* data, size_t size)
{
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = 0; i < size; ++i) {
        for (int bit = 7; bit >= 0; --bit) {
            bool in = ((data[i] >> bit) & 1) != 0;
            bool top = (crc & 0x80000000u) != 0;
            crc <<= 1;
            if (in != top)
                crc ^= 0x04C11DB7u;
        }
    }
    return crc;
}

Bytes PatSection(uint16_t tsId, size_t programs, bool current)
{
    size_t length = 5 + 4 * programs + 4;
    Bytes s;
    s.push_back(0x00);
    s.push_back(static_cast<uint8_t>(0xB0 | (length >> 8)));
    s.push_back(static_cast<uint8_t>(length));
    s.push_back(static_cast<uint8_t>(tsId >> 8));
    s.push_back(static_cast<uint8_t>(tsId));
    s.push_back(current ? 0xC1 : 0xC0);
    s.push_back(0x00);
    s.push_back(0x00);
    for (size_t i = 1; i <= programs; ++i) {
        uint16_t pmtPid = static_cast<uint16_t>(0x1000 + i);
        s.push_back(static_cast<uint8_t>(i >> 8));
        s.push_back(static_cast<uint8_t>(i));
        s.push_back(static_cast<uint8_t>(0xE0 | (pmtPid >> 8)));
        s.push_back(static_cast<uint8_t>(pmtPid));
    }
    uint32_t crc = TestCrc32(s.data(), s.size());
    for (int shift = 24; shift >= 0; shift -= 8)
        s.push_back(static_cast<uint8_t>(crc >> shift));
    return s;
}

Bytes PayloadPacket(uint16_t pid, uint8_t cc, bool unitStart, const Bytes& payload)
{
    Bytes p = Header(pid, cc, unitStart, 0x10);
    for (size_t i = 0; i < payload.size() && 4 + i < kPacket; ++i)
        p[4 + i] = payload[i];
    return p;
}

Bytes DataPacket(uint16_t pid, uint8_t cc)
{
    static uint32_t serial = 0;
    ++serial;
    Bytes p = Header(pid, cc, false, 0x10);
    for (size_t i = 4; i < kPacket; ++i) {
        uint8_t b = static_cast<uint8_t>(serial * 31 + i * 7);
        p[i] = b == 0x47 ? 0x48 : b;
    }
    return p;
}

Bytes AdaptationOnlyPacket(uint16_t pid, uint8_t cc)
{
    Bytes p = Header(pid, cc, false, 0x20);
    p[4] = 183;
    p[5] = 0x00;
    return p;
}

Bytes DiscontinuityPacket(uint16_t pid, uint8_t cc)
{
    Bytes p = DataPacket(pid, cc);
    p[3] = static_cast<uint8_t>(0x30 | (cc & 0x0F));
    p[4] = 1;
    p[5] = 0x80;
    return p;
}

Bytes PatPacket(uint16_t tsId, uint8_t cc)
{
    Bytes payload(1, 0x00);
    Append(&payload, PatSection(tsId));
    return PayloadPacket(0x0000, cc, true, payload);
}

Bytes Stream(size_t packets, uint16_t tsId)
{
    Bytes s;
    uint8_t patCc = 0;
    uint8_t dataCc = 0;
    for (size_t k = 0; k < packets; ++k) {
        if (k % 64 == 0)
            Append(&s, PatPacket(tsId, patCc++));
        else
            Append(&s, DataPacket(kDataPid, dataCc++));
    }
    return s;
}

void Append(Bytes* to, const Bytes& what)
{
    to->insert(to->end(), what.begin(), what.end());
}
