// Checks a transport stream as it is read: packet alignment, continuity
// counters per PID and the transport_stream_id of the PAT. The stream may be
// fed in pieces of any size; a packet or a PAT section may span pieces.
//
// Alignment: the stream is taken as aligned from its first byte, and stays so
// while every packet starts with 0x47. A packet that does not counts one sync
// loss (none before the first packet) and the analyser hunts: it skips bytes
// up to a 0x47 followed by another one 188 bytes on, and locks there.
//
// Continuity, per PID (the null PID 0x1FFF is not checked):
//  - only packets with a payload advance the counter; adaptation-only packets
//    are not checked;
//  - the same counter once more is a duplicate, allowed once in a row;
//  - a discontinuity_indicator in the adaptation field accepts any counter;
//  - any other counter is one error, and the count restarts from it.
// Packets with the transport_error_indicator set are counted and otherwise
// ignored: none of their fields can be trusted (they are counted under the
// PID they name all the same). Packets whose transport_scrambling_control is
// not 0 count as scrambled.
//
// No Windows header here, so that it builds and is tested anywhere.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <vector>

class TsAnalyzer
{
public:
    static constexpr size_t kPacketSize = 188;
    static constexpr size_t kPidCount = 8192;

    struct PidCounts {
        uint64_t packets;
        uint64_t continuityErrors;
        uint64_t transportErrors;
        uint64_t scrambled;
    };

    TsAnalyzer();

    void Feed(const uint8_t* data, size_t size);

    uint64_t Bytes() const { return m_bytes; }
    uint64_t Packets() const { return m_packets; }
    uint64_t SyncLosses() const { return m_syncLosses; }
    uint64_t SkippedBytes() const { return m_skippedBytes; }
    uint64_t ContinuityErrors() const { return m_continuityErrors; }
    uint64_t ErrorPackets() const { return m_errorPackets; }
    uint64_t ScrambledPackets() const { return m_scrambledPackets; }
    // Indexed by PID.
    const std::vector<PidCounts>& PerPid() const { return m_perPid; }
    // Bytes at the end that make no whole packet (yet): Bytes() is always
    // Packets() * 188 + SkippedBytes() + PendingBytes().
    uint64_t PendingBytes() const { return m_pendingSize; }
    // Whether the packets are where the analyser expects them; while so, the
    // next packet starts PendingBytes() before the end of what was fed.
    bool Locked() const { return m_locked; }
    // transport_stream_id of the last complete PAT section with a good CRC,
    // or -1 when there has been none.
    int32_t TransportStreamId() const { return m_transportStreamId; }

private:
    enum Continuity { kContinues, kDuplicate, kRestarts };

    void FeedLocked(const uint8_t* data, size_t size, size_t* pos);
    void FeedHunting(const uint8_t* data, size_t size, size_t* pos);
    void Packet(const uint8_t* packet);
    // kRestarts covers a PID's first packet, a discontinuity and an error;
    // packets without a counter to check report it too.
    Continuity CheckContinuity(const uint8_t* packet);
    void PatPayload(bool unitStart, bool continues, const uint8_t* payload, size_t size);
    void AppendSection(const uint8_t* data, size_t size);

    uint64_t m_bytes;
    uint64_t m_packets;
    uint64_t m_syncLosses;
    uint64_t m_skippedBytes;
    uint64_t m_continuityErrors;
    uint64_t m_errorPackets;
    uint64_t m_scrambledPackets;
    int32_t m_transportStreamId;
    std::vector<PidCounts> m_perPid;

    bool m_locked;
    // The packet being gathered across pieces. While hunting it holds a
    // candidate packet and the byte after it, whose 0x47 confirms the lock.
    uint8_t m_pending[kPacketSize + 1];
    size_t m_pendingSize;

    // Per PID: bit 7 = a counter has been seen, bit 6 = the last packet was an
    // allowed duplicate, bits 0-3 = the last counter.
    uint8_t m_continuity[8192];

    // The PAT section being gathered; 1024 bytes hold the largest one.
    uint8_t m_section[1024];
    size_t m_sectionSize;
    bool m_inSection;
};
