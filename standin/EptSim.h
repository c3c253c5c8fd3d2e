// Control interface of the stand-in board library (standin/EarthPtDll.dll).
//
// The stand-in exports the board calls of board/EarthPtDll.h and, under the
// prefix EptSim, these functions for tests, the demo and the benchmark. A test
// loads the stand-in first (LoadLibraryW on its full path), configures it, then
// loads the plug-in, whose import of EarthPtDll.dll resolves to the module that
// is already loaded. State lives in the stand-in for as long as it stays loaded;
// EptSimReset returns it to the defaults below.
//
// The simulated machine:
//  - boards 1..N (default N = 1); board b has four tuners, named and numbered
//    "Ec<b>Bt1" (slot 0), "Ec<b>Bt2" (1), "Ec<b>Bs1" (2), "Ec<b>Bs2" (3).
//    PtDllOpen gives handle 0x100 + (b - 1) * 4 + slot, or -1 when the name is
//    unknown, the board is beyond N, the tuner is already open, or refused.
//    A freshly opened tuner sleeps, its stream is stopped.
//  - the terrestrial channel list (PtDllGetChannelMax/GetChannelInfo), by
//    default the 50 UHF channels "13ch".."62ch" (index 0..49) followed by the
//    51 cable channels "C13ch".."C63ch" (index 50..100).
//  - tuning: PtDllSetFrequency accepts a PT channel below the list's count on a
//    terrestrial tuner and below 36 on a satellite tuner; it restarts the
//    tuner's stream from packet 0 (buffered data is discarded) and clears the
//    selected TS ID. PtDllSetIdS selects the TS ID (satellite).
//  - LNB supply: per board, set through any of the board's handles.
//  - the stream: an endless sequence of 188-byte MPEG-TS packets per tuner,
//    numbered from 0 at each tune. Packet k is a PAT (PID 0) when k % 64 == 0,
//    whose transport_stream_id is the selected TS ID on a satellite tuner and
//    0x7C00 + PT channel on a terrestrial one; every other packet is on PID
//    0x0100 with a payload that depends on k. Continuity counters count per PID.
//    Bytes become ready according to the stream mode; PtDllGetStreamData copies
//    ready bytes in order, byte-exact (not rounded to packets).
//  - every board call is logged (see EptSimLogEntry).
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
    // Clock: while a tuner's stream is enabled, whole packets become ready at
    // the broadcast rate (EptSimSetRate), up to EPTSIM_BUFFER_BYTES buffered;
    // beyond that the oldest are lost, as on a real board that is not read.
    EPTSIM_MODE_CLOCK = 0,
    // Always ready: PtDllGetStreamSize reports EPTSIM_BUFFER_BYTES and every
    // PtDllGetStreamData fills its whole capacity, enabled or not.
    EPTSIM_MODE_ALWAYS = 1,
    // Manual: bytes become ready only through EptSimPushBytes and
    // EptSimScheduleBytes, enabled or not.
    EPTSIM_MODE_MANUAL = 2,
};

enum { EPTSIM_BUFFER_BYTES = 16 * 1024 * 1024 };

// What a test can see of one tuner.
struct EptSimTuner {
    int32_t open;         // 1 while a handle is open
    int32_t handle;       // the handle it has or would have
    int32_t sleeping;     // 1 after PtDllSetTunerSleep(.., 1) and after open
    int32_t streaming;    // 1 while the stream is enabled
    int32_t lnbPower;     // the board's LNB mode as last set (0 at start)
    int32_t ptChannel;    // last PT channel tuned successfully, -1 = none
    int32_t tsId;         // TS ID of the PAT (see above)
    uint32_t bytesReady;  // as PtDllGetStreamSize would report now
    uint64_t bytesRead;   // bytes copied out or flushed since the last tune
};

extern "C" {

// Back to the defaults: 1 board, version 1, nothing refused, the default
// channel list, every call succeeding, CN by channel, clock mode at the default
// rates, logging on and an empty log, all tuners closed with LNB power off.
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
// Result of PtDllGetTmcc (default 0).
void EPTSIM_CALL EptSimSetTmccResult(int32_t result);
// The carrier-to-noise figure (dB x 100) that PtDllGetCnAgc reports; -1 (the
// default) = a figure of its own for each PT channel.
void EPTSIM_CALL EptSimSetCn(int32_t cn100);

// Stream mode (EptSimStreamMode) for every tuner; default EPTSIM_MODE_CLOCK.
void EPTSIM_CALL EptSimSetStreamMode(int32_t mode);
// Clock-mode rate in bytes per second for terrestrial and satellite tuners;
// 0 keeps a value. Defaults: 2,106,000 and 3,000,000.
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
// tune, rendered exactly as PtDllGetStreamData delivers them.
void EPTSIM_CALL EptSimStreamBytes(int32_t handle, uint64_t offset, uint8_t* dest, uint32_t size);

// State of a named tuner; returns 0, or -1 for an unknown name.
int32_t EPTSIM_CALL EptSimGetTuner(const wchar_t* name, struct EptSimTuner* tuner);

// Call log: one entry per board call, in call order. The text is the call's
// name, its input arguments in decimal (the tuner name as text) and the
// result, for example
//   "GetDllVersion() = 1"            "PtDllOpen(Ec1Bt1) = 256"
//   "PtDllSetFrequency(256, 5) = 0"  "PtDllGetStreamData(256, 1540096) = 0"
// timeMs is timeGetTime() at the call. The log holds the first 65,536 entries
// after a clear; EptSimLogCount keeps counting beyond that.
int32_t EPTSIM_CALL EptSimLogCount(void);
// Copies entry index into text (cut to capacity, always terminated); returns
// 0, or -1 when there is no such entry.
int32_t EPTSIM_CALL EptSimLogEntry(int32_t index, char* text, uint32_t capacity, uint32_t* timeMs);
void EPTSIM_CALL EptSimLogClear(void);
// enable == 0 stops logging (for the benchmark); calls are then not counted.
void EPTSIM_CALL EptSimSetLogging(int32_t enable);

}
