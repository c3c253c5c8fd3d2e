// State of the simulated machine, shared by the board calls (EarthPtDll.cpp)
// and the control calls (EptSim.cpp). Every access happens under SimLock;
// what several processes share lives in SharedBoards.h.
#pragma once

#include <stdint.h>

#include "standin/EptSim.h"
#include "standin/Feed.h"
#include "standin/TsPackets.h"

enum {
    kMaxBoards = 16,
    kTunersPerBoard = 4,
    kMaxTuners = kMaxBoards * kTunersPerBoard,
    kFirstHandle = 0x100,
    kMaxChannels = 256,
    kChannelNameBytes = 16,  // 15 bytes of name and the NUL
    kSatelliteChannels = 36,
    kCallFailed = 1,
    kMaxFeeds = 32,
    kPacketFaults = EPTSIM_FAULT_SCRAMBLED + 1,
    kCallNameBytes = 32,
};

// One packet fault as set: count hits, the first after `after` packets, then
// `every` apart.
struct FaultPlan {
    uint32_t count;
    uint32_t every;
    uint32_t after;
};

// Its progress on one tuner.
struct FaultRun {
    uint32_t remaining;
    uint32_t every;
    uint64_t nextPacket;
};

struct FeedEntry {
    bool used;
    bool satellite;
    uint32_t ptChannel;
    uint32_t tsId;             // satellite only
    uint32_t bytesPerSecond;   // 0 = the file's own
    Feed feed;
};

struct Tuner {
    bool open;      // by this process
    bool refused;
    bool sleeping;
    bool streaming;
    int32_t ptChannel;      // -1 until tuned
    uint32_t selectedTsId;  // as given to PtDllSetIdS; 0 after a tune
    uint64_t tunedMicros;
    // Byte counts since the last tune. rendered: bytes put in the buffer;
    // produced: those made ready, at most a packet fewer; read: copied out,
    // flushed or lost to an overflow. Ready = produced - read.
    uint64_t rendered;
    uint64_t produced;
    uint64_t read;
    // The next packet of the channel to render or miss.
    uint64_t nextPacket;
    // Where packets start: at alignBase + n * 188, moved by lost bytes.
    uint64_t alignBase;
    // The board's buffer, allocated at the first packet; byte offset o sits at
    // o % kRingBytes.
    uint8_t* ring;
    // Clock mode: when production was last brought up to date, and the
    // byte-microseconds earned since then that do not yet make a packet.
    uint64_t clockMicros;
    uint64_t creditByteMicros;
    bool scheduled;
    uint32_t scheduledBytes;
    uint64_t scheduledDueMicros;
    FaultRun faults[kPacketFaults];
    uint64_t dropStartMicros;  // a signal drop, empty when start == end
    uint64_t dropEndMicros;
    bool dropCounted;
    uint64_t counts[EPTSIM_FAULT_KINDS];
};

struct Machine {
    int32_t version;
    int32_t devCount;  // what PtDllGetDevCount says, even when out of range
    int32_t boards;    // boards that exist: devCount within 0..kMaxBoards
    char channels[kMaxChannels][kChannelNameBytes];
    uint32_t channelCount;
    int32_t channelMaxResult;
    int32_t frequencyResult;  // -1 = apply the tuning rule
    int32_t tmccResult;       // 0 = by lock
    int32_t cn100;            // -1 = by lock and PT channel
    int32_t streamMode;
    uint32_t terrestrialRate;  // bytes per second of generated channels
    uint32_t satelliteRate;
    uint32_t lockMicros;
    uint8_t noSignal[2][kMaxChannels / 8];  // [satellite][PT channel bit]
    FeedEntry feeds[kMaxFeeds];
    FaultPlan faults[kPacketFaults];
    uint32_t dropAfterMs;  // signal drop after each tune; duration 0 = none
    uint32_t dropMs;
    char slowCall[kCallNameBytes];  // empty = none
    uint32_t slowMs;
    uint32_t slowRemaining;  // 0xFFFFFFFF = every call
    uint64_t removedMicros;  // 0 = never (the clock is past 0 by then)
    uint64_t slowCalls;
    uint64_t failedCalls;
    Tuner tuners[kMaxTuners];
};

extern Machine g_sim;

// Holds the one lock for its lifetime; the first holder in the process also
// brings the machine to its defaults and reads the set-up file.
class SimLock
{
public:
    SimLock();
    ~SimLock();
    SimLock(const SimLock&) = delete;
    SimLock& operator=(const SimLock&) = delete;
};

// Back to the built-in defaults; frees buffers and feeds, closes this
// process's tuners.
void SimResetMachine(void);
void SimSetDefaultChannels(void);

uint64_t SimNowMicros(void);

// Slot index (board - 1) * 4 + slot for "Ec<b>Bt1".."Ec<b>Bs2" with b up to
// kMaxBoards, whether or not that board exists now; -1 otherwise.
int SimTunerIndexByName(const wchar_t* name);
// The tuner behind a handle on a board that exists now, open or not.
Tuner* SimTunerByHandle(int32_t handle);
// Same, but only while this process has that handle open.
Tuner* SimOpenTuner(int32_t handle);
int32_t SimHandleOf(const Tuner& t);
int SimIndexOf(const Tuner& t);
bool SimIsSatellite(const Tuner& t);

// Closes this process's handle: the buffer is emptied and the tuner free.
void SimCloseTuner(Tuner& t);
// Tuning: restarts the stream and arms the faults.
void SimTune(Tuner& t, int32_t ptChannel, uint64_t now);
bool SimLocked(const Tuner& t, uint64_t now);
// Locked, and on a satellite tuner the selected TS ID is one the channel
// carries: what the broadcast needs to reach the buffer.
bool SimReceiving(const Tuner& t, uint64_t now);
uint32_t SimCn100(const Tuner& t, uint64_t now);
uint32_t SimChannelRate(const Tuner& t);

// Brings the tuner's produced bytes up to now: clock-mode growth, a due
// schedule, and the loss of the oldest packets beyond the buffer.
void SimSync(Tuner& t, uint64_t now);
void SimSyncAll(uint64_t now);
uint32_t SimReadyBytes(const Tuner& t);
// Makes bytes more ready, rendering packets as needed.
void SimProduce(Tuner& t, uint64_t bytes);
// Copies size ready bytes out (always mode: produced on the spot).
void SimCopyOut(Tuner& t, uint8_t* dest, uint32_t size);
// Starts the stream over from packet 0 with nothing buffered.
void SimRestartStream(Tuner& t, uint64_t now);
// Arms a packet fault on a tuner from its next packet on.
void SimArmFault(Tuner& t, int kind, uint64_t fromPacket);

uint16_t SimPatTsId(const Tuner& t);
// The stream as generated or fed, without faults, from byte offset.
void SimRenderBytes(const Tuner& t, uint64_t offset, uint8_t* dest, uint32_t size);

// Feeds: the one for a channel, or null.
const FeedEntry* SimFeedFor(bool satellite, uint32_t ptChannel, uint32_t tsId);
int32_t SimSetFeed(bool satellite, uint32_t ptChannel, uint32_t tsId, const wchar_t* path,
                   uint32_t bytesPerSecond);
void SimClearFeeds(void);
