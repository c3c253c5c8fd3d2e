// Loads bin/standin/EarthPtDll.dll by its path, as the plug-in tests and the
// benchmarks do, and resolves every board and control call into a table. No
// test framework here: the benchmarks use it too.
#pragma once

#include <windows.h>

#include "board/EarthPtDll.h"
#include "standin/EptSim.h"

#define STANDIN_CALLS(X)                                                                      \
    X(GetDllVersion) X(PtDllOpen) X(PtDllClose) X(PtDllGetDevCount) X(PtDllSetLnbPower)      \
    X(PtDllSetTunerSleep) X(PtDllGetChannelMax) X(PtDllGetChannelInfo) X(PtDllSetFrequency)   \
    X(PtDllGetTmcc) X(PtDllSetIdS) X(PtDllGetCnAgc) X(PtDllSetStreamEnable)                   \
    X(PtDllGetStreamEnable) X(PtDllGetStreamSize) X(PtDllGetStreamData) X(PtDllGetStreamFlush) \
    X(EptSimReset) X(EptSimSetVersion) X(EptSimSetBoardCount) X(EptSimRefuseTuner)            \
    X(EptSimSetChannelList) X(EptSimSetChannelMaxResult) X(EptSimSetFrequencyResult)          \
    X(EptSimSetTmccResult) X(EptSimSetCn) X(EptSimSetStreamMode) X(EptSimSetRate)             \
    X(EptSimPushBytes) X(EptSimScheduleBytes) X(EptSimNowMicros) X(EptSimStreamBytes)         \
    X(EptSimGetTuner) X(EptSimLogCount) X(EptSimLogEntry) X(EptSimLogClear) X(EptSimSetLogging)     \
    X(EptSimLoadSetup) X(EptSimSetLockTime) X(EptSimSetNoSignal) X(EptSimSetFeed) X(EptSimSetFault)   \
    X(EptSimSignalDrop) X(EptSimSlowCall) X(EptSimRemoveDevice) X(EptSimFaultCount)

struct Standin {
#define STANDIN_MEMBER(name) decltype(&::name) name;
    STANDIN_CALLS(STANDIN_MEMBER)
#undef STANDIN_MEMBER
};

// The loaded stand-in, or nullptr when it or one of its exports is missing.
const Standin* LoadStandin(void);
