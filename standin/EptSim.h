// Control interface of the stand-in board library (standin/EarthPtDll.dll).
//
// The stand-in exports the board calls of board/EarthPtDll.h and, under the
// prefix EptSim, these functions for tests, the demo and the benchmark. A test
// loads the stand-in first (LoadLibraryW on its full path), configures it, then
// loads the plug-in, whose import of EarthPtDll.dll resolves to the module that
// is already loaded. At its first call the stand-in reads its set-up file,
// EarthPtDll-standin.ini beside it (see README.md), if there is one; EptSim
// calls made later take precedence over it. EptSimReset returns to the
// built-in defaults below, without the set-up file.
//
// The simulated machine:
//  - boards 1..N (default N = 1); board b has four tuners, named and numbered
//    "Ec<b>Bt1" (slot 0), "Ec<b>Bt2" (1), "Ec<b>Bs1" (2), "Ec<b>Bs2" (3).
//    PtDllOpen gives handle 0x100 + (b - 1) * 4 + slot, or -1 when the name is
//    unknown, the board is beyond N, the tuner is open in this or another
//    process, or refused. A freshly opened tuner sleeps, its stream stopped.
//    The boards are shared by every process that loads the stand-in: which
//    tuner is open where, and each board's LNB supply, live in named shared
//    memory; the tuners of a process that ends, however it ends, are free.
//  - the terrestrial channel list (PtDllGetChannelMax/GetChannelInfo), by
//    default the 50 UHF channels "13ch".."62ch" (index 0..49) followed by the
//    51 cable channels "C13ch".."C63ch" (index 50..100).
//  - tuning: PtDllSetFrequency accepts a PT channel below the list's count on a
//    terrestrial tuner and below 36 on a satellite tuner; it restarts the
//    tuner's stream from packet 0 (buffered data is discarded) and clears the
//    selected TS ID. The tuner locks the lock time later (default 30 ms) unless
//    the PT channel has no signal; until then PtDllGetTmcc fails, the C/N is 0
//    and nothing is produced. PtDllSetIdS selects the TS ID (satellite).
//  - the TS IDs a satellite PT channel carries: p < 12 is BS channel 2p+1 with
//    TS IDs 0x4nnX, 12 <= p < 24 is ND channel 2(p-11) with TS IDs 0x6nnX and
//    0x7nnX, where the bits nn (4 to 8) are that channel number and X any;
//    p >= 24 carries none. A file feed adds its TS ID. Selecting any other TS
//    ID gives no packets and a C/N of 0.
//  - the stream: 188-byte MPEG-TS packets per tuner, numbered from 0 at each
//    tune, from the channel's file feed (standin/Feed.h) or generated
//    (standin/TsPackets.h). The PAT carries the selected TS ID on a satellite
//    tuner and 0x7C00 + PT channel on a terrestrial one, as it was when the
//    packet was produced. Bytes become ready according to the stream mode and
//    wait in the board's buffer; PtDllGetStreamData copies ready bytes in
//    order, byte-exact (not rounded to packets).
//  - faults (EptSimSetFault and the others below), each counted
//    (EptSimFaultCount).
//  - the call log (EptSimLogEntry), off until switched on.
#pragma once

#include <stdint.h>
#include <wchar.h>

#if defined(_WIN32)
#define EPTSIM_CALL __cdecl
#else
#define EPTSIM_CALL
#endif

// How ready bytes come about.
enum EptSimStreamMode {
    // Clock, the broadcast: while a tuner is awake, locked on a TS it carries
    // and its stream enabled, whole packets become ready at the channel's rate
    // (its feed's, else EptSimSetRate's), up to EPTSIM_BUFFER_BYTES buffered;
    // beyond that the oldest are lost, as on a real board that is not read.
    EPTSIM_MODE_CLOCK = 0,
    // Always ready: PtDllGetStreamSize reports EPTSIM_BUFFER_BYTES and every
    // PtDllGetStreamData fills its whole capacity, whatever the tuner's state.
    EPTSIM_MODE_ALWAYS = 1,
    // Manual: bytes become ready only through EptSimPushBytes and
    // EptSimScheduleBytes, whatever the tuner's state.
    EPTSIM_MODE_MANUAL = 2,
};

enum { EPTSIM_BUFFER_BYTES = 16 * 1024 * 1024 };

// What a test can see of one tuner.
struct EptSimTuner {
    int32_t open;         // 1 while a handle is open, in any process
    int32_t handle;       // the handle it has or would have
    int32_t sleeping;     // 1 after PtDllSetTunerSleep(.., 1) and after open
    int32_t streaming;    // 1 while the stream is enabled
    int32_t lnbPower;     // the board's LNB mode as last set (0 at start)
    int32_t ptChannel;    // last PT channel tuned successfully, -1 = none
    int32_t tsId;         // TS ID of the PAT (see above)
    uint32_t bytesReady;  // as PtDllGetStreamSize would report now
    uint64_t bytesRead;   // bytes copied out or flushed since the last tune
                          // or lost to an overflow
    int32_t signal;       // 1 while locked on a TS the channel carries
    uint32_t bytesPerSecond;  // the clock-mode rate of the tuned channel
};

// What EptSimFaultCount counts, per tuner unless said otherwise.
enum EptSimFault {
    // Packet faults, set with EptSimSetFault. Each hits a packet with payload
    // on a PID other than the null PID (scrambling: nor PID 0).
    EPTSIM_FAULT_LOST_PACKETS = 0,    // the packet is never delivered
    EPTSIM_FAULT_LOST_BYTES = 1,      // its last EPTSIM_LOST_BYTES bytes are
    EPTSIM_FAULT_TRANSPORT_ERROR = 2, // transport_error_indicator set
    EPTSIM_FAULT_SCRAMBLED = 3,       // transport_scrambling_control = 2
    // Signal drops begun (EptSimSignalDrop), and the packets of the broadcast
    // missed during them.
    EPTSIM_FAULT_SIGNAL_DROPS = 4,
    EPTSIM_FAULT_MISSED_PACKETS = 5,
    // Bytes lost because the buffer overflowed.
    EPTSIM_FAULT_OVERFLOW_BYTES = 6,
    // For the whole stand-in, handle ignored: board calls slowed down
    // (EptSimSlowCall), and board calls failed for a removed device.
    EPTSIM_FAULT_SLOW_CALLS = 7,
    EPTSIM_FAULT_FAILED_CALLS = 8,
    EPTSIM_FAULT_KINDS = 9,
};

enum { EPTSIM_LOST_BYTES = 100 };

extern "C" {

// Back to the built-in defaults: 1 board, version 1, nothing refused, the
// default channel list, every call succeeding, CN by channel, a lock time of
// 30 ms, signal on every PT channel, no feeds, no faults, clock mode at the
// default rates, logging on (for the tests) and an empty log, this process's
// tuners closed, every board's LNB power off.
void EPTSIM_CALL EptSimReset(void);

// What GetDllVersion returns (default 1).
void EPTSIM_CALL EptSimSetVersion(int32_t version);
// What PtDllGetDevCount returns and how many boards exist (default 1).
void EPTSIM_CALL EptSimSetBoardCount(int32_t count);
// refuse != 0: PtDllOpen of this tuner name fails (-1) as if another program
// held it. refuse == 0 lifts that.
void EPTSIM_CALL EptSimRefuseTuner(const wchar_t* name, int32_t refuse);

// Replaces the terrestrial channel list; names longer than 15 bytes are cut.
// names == NULL restores the default list. At most 256 names.
void EPTSIM_CALL EptSimSetChannelList(const char* const* names, uint32_t count);
// Result of PtDllGetChannelMax (default 0). When non-zero the call writes
// nothing to its count.
void EPTSIM_CALL EptSimSetChannelMaxResult(int32_t result);
// Forced result of PtDllSetFrequency: -1 (the default) = the normal rule
// above; any other value is returned as it stands, and a non-zero one tunes
// nothing.
void EPTSIM_CALL EptSimSetFrequencyResult(int32_t result);
// Forced result of PtDllGetTmcc: 0 (the default) = succeed while locked,
// fail (1) otherwise; any other value is returned as it stands.
void EPTSIM_CALL EptSimSetTmccResult(int32_t result);
// The carrier-to-noise figure (dB x 100) that PtDllGetCnAgc reports; -1 (the
// default) = 0 until locked on a TS the channel carries, then a figure of its
// own for each PT channel (18.00 to 30.00 dB).
void EPTSIM_CALL EptSimSetCn(int32_t cn100);

// Stream mode (EptSimStreamMode) for every tuner; default EPTSIM_MODE_CLOCK.
void EPTSIM_CALL EptSimSetStreamMode(int32_t mode);
// Clock-mode rate in bytes per second of generated terrestrial and satellite
// channels; 0 keeps a value. Defaults: 2,106,000 and 3,000,000.
void EPTSIM_CALL EptSimSetRate(uint32_t terrestrialBytesPerSecond, uint32_t satelliteBytesPerSecond);
// Manual mode: makes more bytes ready on the tuner with this handle at once.
void EPTSIM_CALL EptSimPushBytes(int32_t handle, uint32_t bytes);
// Manual mode: makes bytes ready once delayMicros have passed on the
// stand-in's clock (EptSimNowMicros). One schedule per tuner; a new one
// replaces it.
void EPTSIM_CALL EptSimScheduleBytes(int32_t handle, uint32_t bytes, uint32_t delayMicros);
// The stand-in's clock, in microseconds (QueryPerformanceCounter).
uint64_t EPTSIM_CALL EptSimNowMicros(void);
// The bytes of the tuner's current stream from byte offset since its last
// tune, rendered as PtDllGetStreamData delivers them when no packet fault has
// hit and the TS ID has not changed since.
void EPTSIM_CALL EptSimStreamBytes(int32_t handle, uint64_t offset, uint8_t* dest, uint32_t size);

// State of a named tuner; returns 0, or -1 for an unknown name.
int32_t EPTSIM_CALL EptSimGetTuner(const wchar_t* name, struct EptSimTuner* tuner);

// Call log: one entry per board call, in call order. The text is the call's
// name, its input arguments in decimal (the tuner name as text) and the
// result, for example
//   "GetDllVersion() = 1"            "PtDllOpen(Ec1Bt1) = 256"
//   "PtDllSetFrequency(256, 5) = 0"  "PtDllGetStreamData(256, 1540096) = 0"
// timeMs is timeGetTime() at the call. The log holds the first 65,536 entries
// after a clear (the set-up file can change that); EptSimLogCount keeps
// counting beyond that. The set-up file can also have each entry appended to
// a file.
int32_t EPTSIM_CALL EptSimLogCount(void);
// Copies entry index into text (cut to capacity, always terminated); returns
// 0, or -1 when there is no such entry.
int32_t EPTSIM_CALL EptSimLogEntry(int32_t index, char* text, uint32_t capacity, uint32_t* timeMs);
void EPTSIM_CALL EptSimLogClear(void);
// enable == 0 stops logging (for the benchmark); calls are then not counted,
// and a board call only tests one flag for it.
void EPTSIM_CALL EptSimSetLogging(int32_t enable);

// Reads a set-up file as if it stood beside the stand-in: its settings are
// applied over the current ones. Returns the number of lines it could not
// use, or -1 when the file cannot be read.
int32_t EPTSIM_CALL EptSimLoadSetup(const wchar_t* path);
// Time from PtDllSetFrequency to lock, for every tuner, pending tunes
// included (default 30 ms; at most an hour).
void EPTSIM_CALL EptSimSetLockTime(uint32_t ms);
// noSignal != 0: the PT channel of that kind never locks.
void EPTSIM_CALL EptSimSetNoSignal(int32_t satellite, uint32_t ptChannel, int32_t noSignal);
// Feeds a channel from a TS file: a terrestrial PT channel, or a satellite PT
// channel and TS ID. bytesPerSecond 0 plays it at its own rate, or at the
// kind's rate when its PCRs give none. path NULL removes the feed. Takes effect
// at the next tune. Returns 0, or -1 when the file holds no TS packet, cannot
// be read, is over 256 MB, or 32 feeds are set.
int32_t EPTSIM_CALL EptSimSetFeed(int32_t satellite, uint32_t ptChannel, uint32_t tsId, const wchar_t* path,
                                  uint32_t bytesPerSecond);
// A packet fault (EPTSIM_FAULT_LOST_PACKETS .. EPTSIM_FAULT_SCRAMBLED) on every
// tuner: count packets hit, the first at least after packets after now (after
// the tune for a later tune), then at least every packets apart. count 0
// switches it off.
void EPTSIM_CALL EptSimSetFault(int32_t kind, uint32_t count, uint32_t every, uint32_t after);
// Every tuned tuner loses its signal afterMs from now, for durationMs: no
// packet (the broadcast's packets of that time are missed), C/N 0,
// PtDllGetTmcc failing.
void EPTSIM_CALL EptSimSignalDrop(uint32_t afterMs, uint32_t durationMs);
// The next count calls of the board call named name (all of them when count
// is 0) take ms longer; name NULL ends it.
void EPTSIM_CALL EptSimSlowCall(const char* name, uint32_t ms, uint32_t count);
// The device is removed afterMs from now: from then on every board call fails
// (PtDllOpen -1, PtDllGetDevCount 0, the others 1) except GetDllVersion.
// 0xFFFFFFFF puts it back.
void EPTSIM_CALL EptSimRemoveDevice(uint32_t afterMs);
// The count of one EptSimFault kind for the tuner with this handle since its
// last tune (packet faults, drops, overflow) or since the reset.
uint64_t EPTSIM_CALL EptSimFaultCount(int32_t handle, int32_t kind);

}
