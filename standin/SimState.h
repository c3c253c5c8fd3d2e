// State of the simulated machine, shared by the board calls (EarthPtDll.cpp)
// and the control calls (EptSim.cpp). Every access happens under SimLock.
#pragma once

#include <stdint.h>

#include "standin/EptSim.h"
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
};

struct Tuner {
    bool open;
    bool refused;
    bool sleeping;
    bool streaming;
    int32_t ptChannel;      // -1 until tuned
    uint32_t selectedTsId;  // as given to PtDllSetIdS; 0 after a tune
    // Byte counts since the last tune. Ready = produced - read; bytes lost to
    // an overflow count as read.
    uint64_t produced;
    uint64_t read;
    // Clock mode: when production was last brought up to date, and the
    // byte-microseconds earned since then that do not yet make a packet.
    uint64_t clockMicros;
    uint64_t creditByteMicros;
    bool scheduled;
    uint32_t scheduledBytes;
    uint64_t scheduledDueMicros;
};

struct Machine {
    int32_t version;
    int32_t devCount;  // what PtDllGetDevCount says, even when out of range
    int32_t boards;    // boards that exist: devCount within 0..kMaxBoards
    int32_t lnbMode[kMaxBoards];
    char channels[kMaxChannels][kChannelNameBytes];
    uint32_t channelCount;
    int32_t channelMaxResult;
    int32_t frequencyResult;  // -1 = apply the tuning rule
    int32_t tmccResult;
    int32_t cn100;            // -1 = by PT channel
    int32_t streamMode;
    uint32_t terrestrialRate;  // bytes per second in clock mode
    uint32_t satelliteRate;
    Tuner tuners[kMaxTuners];
};

extern Machine g_sim;

// Holds the one lock for its lifetime; the first holder in the process also
// brings the machine to its defaults.
class SimLock
{
public:
    SimLock();
    ~SimLock();
    SimLock(const SimLock&) = delete;
    SimLock& operator=(const SimLock&) = delete;
};

void SimResetMachine(void);
void SimSetDefaultChannels(void);

uint64_t SimNowMicros(void);

// Slot index (board - 1) * 4 + slot for "Ec<b>Bt1".."Ec<b>Bs2" with b up to
// kMaxBoards, whether or not that board exists now; -1 otherwise.
int SimTunerIndexByName(const wchar_t* name);
// The tuner behind a handle on a board that exists now, open or not.
Tuner* SimTunerByHandle(int32_t handle);
// Same, but only while that handle is open.
Tuner* SimOpenTuner(int32_t handle);
int32_t SimHandleOf(const Tuner& t);
bool SimIsSatellite(const Tuner& t);

// Brings the tuner's produced bytes up to now: clock-mode growth, a due
// schedule, and the loss of the oldest packets beyond the buffer.
void SimSync(Tuner& t, uint64_t now);
void SimSyncAll(uint64_t now);
uint32_t SimReadyBytes(const Tuner& t);
// Starts the stream over from packet 0 with nothing buffered.
void SimRestartStream(Tuner& t, uint64_t now);

uint16_t SimPatTsId(const Tuner& t);
TsStreamId SimStreamId(const Tuner& t);

// Appends a call to the log, formatted like printf, stamped with timeGetTime.
void SimLogCall(const char* format, ...);
