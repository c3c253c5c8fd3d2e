// The CRC-32 that ends every PSI section of an MPEG transport stream (PAT,
// PMT, ...): polynomial 0x04C11DB7, initial value all ones, no reflection, no
// final inversion. Run over a whole section, its own CRC included, it gives 0
// when the section is intact.
#pragma once

#include <stddef.h>
#include <stdint.h>

inline uint32_t MpegCrc32(const uint8_t* data, size_t size)
{
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = 0; i < size; ++i) {
        crc ^= static_cast<uint32_t>(data[i]) << 24;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 0x80000000u) ? (crc << 1) ^ 0x04C11DB7u : crc << 1;
    }
    return crc;
}
