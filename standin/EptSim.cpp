// The control calls: not board calls, so never logged.
#include "standin/EptSim.h"

#include <string.h>

#include "standin/CallLog.h"
#include "standin/SimState.h"

extern "C" {

void EPTSIM_CALL EptSimReset(void)
{
    SimLock lock;
    SimResetMachine();
    CallLogClear();
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
    memset(g_sim.channels, 0, sizeof g_sim.channels);
    if (names == nullptr) {
        SimSetDefaultChannels();
        return;
    }
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
        t->produced += bytes;
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
        TsRenderBytes(SimStreamId(*t), offset, dest, size);
}

int32_t EPTSIM_CALL EptSimGetTuner(const wchar_t* name, struct EptSimTuner* tuner)
{
    SimLock lock;
    int index = SimTunerIndexByName(name);
    if (index < 0 || tuner == nullptr)
        return -1;
    Tuner& t = g_sim.tuners[index];
    SimSync(t, SimNowMicros());
    tuner->open = t.open ? 1 : 0;
    tuner->handle = SimHandleOf(t);
    tuner->sleeping = t.sleeping ? 1 : 0;
    tuner->streaming = t.streaming ? 1 : 0;
    tuner->lnbPower = g_sim.lnbMode[index / kTunersPerBoard];
    tuner->ptChannel = t.ptChannel;
    tuner->tsId = SimPatTsId(t);
    tuner->bytesReady = SimReadyBytes(t);
    tuner->bytesRead = t.read;
    return 0;
}

int32_t EPTSIM_CALL EptSimLogCount(void)
{
    SimLock lock;
    return CallLogCount();
}

int32_t EPTSIM_CALL EptSimLogEntry(int32_t index, char* text, uint32_t capacity, uint32_t* timeMs)
{
    SimLock lock;
    return CallLogGet(index, text, capacity, timeMs);
}

void EPTSIM_CALL EptSimLogClear(void)
{
    SimLock lock;
    CallLogClear();
}

void EPTSIM_CALL EptSimSetLogging(int32_t enable)
{
    SimLock lock;
    CallLogSetEnabled(enable != 0);
}

}  // extern "C"
