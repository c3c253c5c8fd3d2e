#include "host/analysis/TsAnalyzer.h"

#include <string.h>

#include "ts/MpegCrc32.h"

namespace {

const uint8_t kSyncByte = 0x47;
const uint16_t kNullPid = 0x1FFF;
const uint16_t kPatPid = 0x0000;

uint16_t PidOf(const uint8_t* packet)
{
    return static_cast<uint16_t>(((packet[1] & 0x1F) << 8) | packet[2]);
}

bool HasPayload(const uint8_t* packet)
{
    return (packet[3] & 0x10) != 0;
}

bool HasAdaptationField(const uint8_t* packet)
{
    return (packet[3] & 0x20) != 0;
}

// A section's size from its first three bytes: they and section_length.
size_t SectionSize(const uint8_t* section)
{
    return 3 + ((static_cast<size_t>(section[1] & 0x0F) << 8) | section[2]);
}

}  // namespace

TsAnalyzer::TsAnalyzer()
    : m_bytes(0),
      m_packets(0),
      m_syncLosses(0),
      m_skippedBytes(0),
      m_continuityErrors(0),
      m_errorPackets(0),
      m_scrambledPackets(0),
      m_transportStreamId(-1),
      m_perPid(kPidCount, PidCounts{0, 0, 0, 0}),
      m_locked(true),
      m_pendingSize(0),
      m_sectionSize(0),
      m_inSection(false)
{
    memset(m_continuity, 0, sizeof m_continuity);
}

void TsAnalyzer::Feed(const uint8_t* data, size_t size)
{
    m_bytes += size;
    size_t pos = 0;
    while (pos < size) {
        if (m_locked)
            FeedLocked(data, size, &pos);
        else
            FeedHunting(data, size, &pos);
    }
}

// Returns at the end of the data, or at the first byte of a packet that does
// not start with 0x47, with the analyser hunting.
void TsAnalyzer::FeedLocked(const uint8_t* data, size_t size, size_t* pos)
{
    size_t i = *pos;
    if (m_pendingSize > 0) {
        size_t take = kPacketSize - m_pendingSize;
        if (take > size - i)
            take = size - i;
        memcpy(m_pending + m_pendingSize, data + i, take);
        m_pendingSize += take;
        i += take;
        if (m_pendingSize < kPacketSize) {
            *pos = i;
            return;
        }
        Packet(m_pending);
        m_pendingSize = 0;
    }
    while (i < size) {
        if (data[i] != kSyncByte) {
            if (m_packets != 0)
                ++m_syncLosses;
            m_locked = false;
            break;
        }
        if (size - i < kPacketSize) {
            memcpy(m_pending, data + i, size - i);
            m_pendingSize = size - i;
            i = size;
            break;
        }
        Packet(data + i);
        i += kPacketSize;
    }
    *pos = i;
}

// Returns at the end of the data, or locked just after the byte that
// confirmed the lock.
void TsAnalyzer::FeedHunting(const uint8_t* data, size_t size, size_t* pos)
{
    size_t i = *pos;
    while (i < size) {
        if (m_pendingSize == 0) {
            const void* hit = memchr(data + i, kSyncByte, size - i);
            size_t at = hit ? static_cast<size_t>(static_cast<const uint8_t*>(hit) - data) : size;
            m_skippedBytes += at - i;
            i = at;
            if (i == size)
                break;
        }
        size_t take = sizeof m_pending - m_pendingSize;
        if (take > size - i)
            take = size - i;
        memcpy(m_pending + m_pendingSize, data + i, take);
        m_pendingSize += take;
        i += take;
        if (m_pendingSize < sizeof m_pending)
            break;
        if (m_pending[kPacketSize] == kSyncByte) {
            m_locked = true;
            Packet(m_pending);
            m_pending[0] = kSyncByte;
            m_pendingSize = 1;
            break;
        }
        // A 0x47 inside a payload: the hunt goes on from the next one held.
        size_t next = 1;
        while (next < m_pendingSize && m_pending[next] != kSyncByte)
            ++next;
        m_skippedBytes += next;
        memmove(m_pending, m_pending + next, m_pendingSize - next);
        m_pendingSize -= next;
    }
    *pos = i;
}

void TsAnalyzer::Packet(const uint8_t* packet)
{
    ++m_packets;
    PidCounts& counts = m_perPid[PidOf(packet)];
    ++counts.packets;
    if (packet[1] & 0x80) {
        ++m_errorPackets;
        ++counts.transportErrors;
        return;
    }
    if (packet[3] & 0xC0) {
        ++m_scrambledPackets;
        ++counts.scrambled;
    }
    Continuity continuity = CheckContinuity(packet);
    if (PidOf(packet) != kPatPid || !HasPayload(packet) || continuity == kDuplicate)
        return;
    size_t offset = 4;
    if (HasAdaptationField(packet))
        offset += 1 + packet[4];
    if (offset >= kPacketSize)
        return;
    bool unitStart = (packet[1] & 0x40) != 0;
    PatPayload(unitStart, continuity == kContinues, packet + offset, kPacketSize - offset);
}

TsAnalyzer::Continuity TsAnalyzer::CheckContinuity(const uint8_t* packet)
{
    uint16_t pid = PidOf(packet);
    if (pid == kNullPid || !HasPayload(packet))
        return kRestarts;
    uint8_t counter = packet[3] & 0x0F;
    bool discontinuity = HasAdaptationField(packet) && packet[4] > 0 && (packet[5] & 0x80) != 0;
    uint8_t state = m_continuity[pid];
    m_continuity[pid] = static_cast<uint8_t>(0x80 | counter);
    if (!(state & 0x80) || discontinuity)
        return kRestarts;
    uint8_t last = state & 0x0F;
    if (counter == ((last + 1) & 0x0F))
        return kContinues;
    if (counter == last && !(state & 0x40)) {
        m_continuity[pid] |= 0x40;
        return kDuplicate;
    }
    ++m_continuityErrors;
    ++m_perPid[pid].continuityErrors;
    return kRestarts;
}

void TsAnalyzer::PatPayload(bool unitStart, bool continues, const uint8_t* payload, size_t size)
{
    // A section cannot be pieced together across a lost packet.
    if (!continues)
        m_inSection = false;
    if (!unitStart) {
        AppendSection(payload, size);
        return;
    }
    // pointer_field: the bytes before the new section end the previous one.
    size_t pointer = payload[0];
    if (1 + pointer > size) {
        m_inSection = false;
        return;
    }
    AppendSection(payload + 1, pointer);
    m_inSection = true;
    m_sectionSize = 0;
    AppendSection(payload + 1 + pointer, size - 1 - pointer);
}

// Adds bytes to the section being gathered; more sections may follow one that
// completes, until a 0xFF table_id starts the stuffing.
void TsAnalyzer::AppendSection(const uint8_t* data, size_t size)
{
    while (m_inSection && size > 0) {
        size_t want = m_sectionSize < 3 ? 3 : SectionSize(m_section);
        if (want > sizeof m_section) {
            m_inSection = false;
            return;
        }
        size_t take = want - m_sectionSize;
        if (take > size)
            take = size;
        memcpy(m_section + m_sectionSize, data, take);
        m_sectionSize += take;
        data += take;
        size -= take;
        if (m_section[0] == 0xFF) {
            m_inSection = false;
            return;
        }
        if (m_sectionSize < 3 || m_sectionSize < SectionSize(m_section))
            continue;
        // table_id 0, section_syntax_indicator, a whole header and CRC,
        // current_next_indicator: a PAT in force now.
        bool isPat = m_section[0] == 0x00 && (m_section[1] & 0x80) && m_sectionSize >= 12 &&
                     (m_section[5] & 0x01) && MpegCrc32(m_section, m_sectionSize) == 0;
        if (isPat)
            m_transportStreamId = (m_section[3] << 8) | m_section[4];
        m_sectionSize = 0;
    }
}
