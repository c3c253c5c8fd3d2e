// The control calls: not board calls, so never logged.
#include "standin/EptSim.h"

#include <string.h>

#include "standin/CallLog.h"
#include "standin/Setup.h"
#include "standin/SharedBoards.h"
#include "standin/SimState.h"

extern "C" {

void EPTSIM_CALL EptSimReset(void)
{
    SimLock lock;
    SimResetMachine();
    SharedResetLnb();
    CallLogOpenFile(nullptr);
    CallLogSetCapacity(kCallLogDefaultCapacity);
    CallLogSetEnabled(true);
}

void EPTSIM_CALL EptSimSetVersion(int32_t version)
{
    SimLock lock;
    g_sim.version = version;
}

void EPTSIM_CALL EptSimSetBoardCount(int32_t count)
{
    SimLock lock;
    g_sim.devCount = count;
    g_sim.boards = count < 0 ? 0 : (count > kMaxBoards ? kMaxBoards : count);
}

void EPTSIM_CALL EptSimRefuseTuner(const wchar_t* name, int32_t refuse)
{
    SimLock lock;
    int index = SimTunerIndexByName(name);
    if (index >= 0)
        g_sim.tuners[index].refused = refuse != 0;
}

void EPTSIM_CALL EptSimSetChannelList(const char* const* names, uint32_t count)
{
    SimLock lock;
    if (names == nullptr) {
        SimSetDefaultChannels();
        return;
    }
    memset(g_sim.channels, 0, sizeof g_sim.channels);
    if (count > kMaxChannels)
        count = kMaxChannels;
    for (uint32_t i = 0; i < count; ++i) {
        if (names[i] != nullptr)
            strncpy(g_sim.channels[i], names[i], kChannelNameBytes - 1);
    }
    g_sim.channelCount = count;
}

void EPTSIM_CALL EptSimSetChannelMaxResult(int32_t result)
{
    SimLock lock;
    g_sim.channelMaxResult = result;
}

void EPTSIM_CALL EptSimSetFrequencyResult(int32_t result)
{
    SimLock lock;
    g_sim.frequencyResult = result;
}

void EPTSIM_CALL EptSimSetTmccResult(int32_t result)
{
    SimLock lock;
    g_sim.tmccResult = result;
}

void EPTSIM_CALL EptSimSetCn(int32_t cn100)
{
    SimLock lock;
    g_sim.cn100 = cn100;
}

void EPTSIM_CALL EptSimSetStreamMode(int32_t mode)
{
    SimLock lock;
    if (mode < EPTSIM_MODE_CLOCK || mode > EPTSIM_MODE_MANUAL)
        return;
    // Time so far counts under the mode it passed in.
    SimSyncAll(SimNowMicros());
    g_sim.streamMode = mode;
}

void EPTSIM_CALL EptSimSetRate(uint32_t terrestrialBytesPerSecond, uint32_t satelliteBytesPerSecond)
{
    SimLock lock;
    SimSyncAll(SimNowMicros());
    if (terrestrialBytesPerSecond != 0)
        g_sim.terrestrialRate = terrestrialBytesPerSecond;
    if (satelliteBytesPerSecond != 0)
        g_sim.satelliteRate = satelliteBytesPerSecond;
}

void EPTSIM_CALL EptSimPushBytes(int32_t handle, uint32_t bytes)
{
    SimLock lock;
    if (Tuner* t = SimTunerByHandle(handle)) {
        uint64_t now = SimNowMicros();
        SimSync(*t, now);
        SimProduce(*t, bytes);
        SimSync(*t, now);
    }
}

void EPTSIM_CALL EptSimScheduleBytes(int32_t handle, uint32_t bytes, uint32_t delayMicros)
{
    SimLock lock;
    if (Tuner* t = SimTunerByHandle(handle)) {
        uint64_t now = SimNowMicros();
        SimSync(*t, now);
        t->scheduled = true;
        t->scheduledBytes = bytes;
        t->scheduledDueMicros = now + delayMicros;
    }
}

uint64_t EPTSIM_CALL EptSimNowMicros(void)
{
    return SimNowMicros();
}

void EPTSIM_CALL EptSimStreamBytes(int32_t handle, uint64_t offset, uint8_t* dest, uint32_t size)
{
    SimLock lock;
    Tuner* t = SimTunerByHandle(handle);
    if (t != nullptr && dest != nullptr)
        SimRenderBytes(*t, offset, dest, size);
}

int32_t EPTSIM_CALL EptSimGetTuner(const wchar_t* name, struct EptSimTuner* tuner)
{
    SimLock lock;
    int index = SimTunerIndexByName(name);
    if (index < 0 || tuner == nullptr)
        return -1;
    Tuner& t = g_sim.tuners[index];
    uint64_t now = SimNowMicros();
    SimSync(t, now);
    tuner->open = (t.open || SharedTunerHeldElsewhere(index)) ? 1 : 0;
    tuner->handle = SimHandleOf(t);
    tuner->sleeping = t.sleeping ? 1 : 0;
    tuner->streaming = t.streaming ? 1 : 0;
    tuner->lnbPower = SharedLnbMode(index / kTunersPerBoard);
    tuner->ptChannel = t.ptChannel;
    tuner->tsId = SimPatTsId(t);
    tuner->bytesReady = SimReadyBytes(t);
    tuner->bytesRead = t.read;
    tuner->signal = SimReceiving(t, now) ? 1 : 0;
    tuner->bytesPerSecond = SimChannelRate(t);
    return 0;
}

int32_t EPTSIM_CALL EptSimLogCount(void)
{
    return CallLogCount();
}

int32_t EPTSIM_CALL EptSimLogEntry(int32_t index, char* text, uint32_t capacity, uint32_t* timeMs)
{
    return CallLogGet(index, text, capacity, timeMs);
}

void EPTSIM_CALL EptSimLogClear(void)
{
    CallLogClear();
}

void EPTSIM_CALL EptSimSetLogging(int32_t enable)
{
    CallLogSetEnabled(enable != 0);
}

int32_t EPTSIM_CALL EptSimLoadSetup(const wchar_t* path)
{
    SimLock lock;
    return path != nullptr ? SetupLoad(path) : -1;
}

void EPTSIM_CALL EptSimSetLockTime(uint32_t ms)
{
    SimLock lock;
    // Time so far counts under the lock time it passed in.
    SimSyncAll(SimNowMicros());
    g_sim.lockMicros = (ms < 3600000 ? ms : 3600000) * 1000;
}

void EPTSIM_CALL EptSimSetNoSignal(int32_t satellite, uint32_t ptChannel, int32_t noSignal)
{
    SimLock lock;
    if (ptChannel >= kMaxChannels)
        return;
    SimSyncAll(SimNowMicros());
    uint8_t& bits = g_sim.noSignal[satellite ? 1 : 0][ptChannel / 8];
    uint8_t bit = static_cast<uint8_t>(1 << (ptChannel % 8));
    bits = static_cast<uint8_t>(noSignal ? bits | bit : bits & ~bit);
}

int32_t EPTSIM_CALL EptSimSetFeed(int32_t satellite, uint32_t ptChannel, uint32_t tsId, const wchar_t* path,
                                  uint32_t bytesPerSecond)
{
    SimLock lock;
    SimSyncAll(SimNowMicros());
    return SimSetFeed(satellite != 0, ptChannel, tsId, path, bytesPerSecond);
}

void EPTSIM_CALL EptSimSetFault(int32_t kind, uint32_t count, uint32_t every, uint32_t after)
{
    SimLock lock;
    if (kind < 0 || kind >= kPacketFaults)
        return;
    SimSyncAll(SimNowMicros());
    g_sim.faults[kind] = FaultPlan{count, every, after};
    for (Tuner& t : g_sim.tuners)
        SimArmFault(t, kind, t.nextPacket);
}

void EPTSIM_CALL EptSimSignalDrop(uint32_t afterMs, uint32_t durationMs)
{
    SimLock lock;
    uint64_t now = SimNowMicros();
    SimSyncAll(now);
    for (Tuner& t : g_sim.tuners) {
        t.dropStartMicros = now + afterMs * 1000ull;
        t.dropEndMicros = t.dropStartMicros + durationMs * 1000ull;
        t.dropCounted = false;
    }
}

void EPTSIM_CALL EptSimSlowCall(const char* name, uint32_t ms, uint32_t count)
{
    SimLock lock;
    memset(g_sim.slowCall, 0, sizeof g_sim.slowCall);
    g_sim.slowRemaining = 0;
    if (name == nullptr)
        return;
    strncpy(g_sim.slowCall, name, sizeof g_sim.slowCall - 1);
    g_sim.slowMs = ms;
    g_sim.slowRemaining = count == 0 ? 0xFFFFFFFFu : count;
}

void EPTSIM_CALL EptSimRemoveDevice(uint32_t afterMs)
{
    SimLock lock;
    g_sim.removedMicros = afterMs == 0xFFFFFFFFu ? 0 : SimNowMicros() + afterMs * 1000ull;
}

uint64_t EPTSIM_CALL EptSimFaultCount(int32_t handle, int32_t kind)
{
    SimLock lock;
    if (kind == EPTSIM_FAULT_SLOW_CALLS)
        return g_sim.slowCalls;
    if (kind == EPTSIM_FAULT_FAILED_CALLS)
        return g_sim.failedCalls;
    Tuner* t = SimTunerByHandle(handle);
    if (t == nullptr || kind < 0 || kind >= EPTSIM_FAULT_KINDS)
        return 0;
    SimSync(*t, SimNowMicros());
    return t->counts[kind];
}

}  // extern "C"
