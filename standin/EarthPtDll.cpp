// The board calls. Each one takes the lock, does its work, and logs itself
// with its input arguments and result, failures included.
#include "board/EarthPtDll.h"

#include <string.h>

#include "standin/SimState.h"

namespace {

// The tuner name as it goes into the log: printable ASCII kept, anything
// else shown as '?', long names cut.
void LogName(const wchar_t* name, char* out, size_t capacity)
{
    size_t n = 0;
    if (name == nullptr) {
        strcpy(out, "null");
        return;
    }
    for (; name[n] != L'\0' && n + 1 < capacity; ++n)
        out[n] = (name[n] >= 0x20 && name[n] < 0x7F) ? static_cast<char>(name[n]) : '?';
    out[n] = '\0';
}

// Somewhere in 18.00..30.00 dB, fixed per PT channel; nothing when untuned.
uint32_t ChannelCn100(int32_t ptChannel)
{
    if (ptChannel < 0)
        return 0;
    return 1800 + static_cast<uint32_t>(ptChannel) * 373 % 1201;
}

// A TMCC area for the tuned channel: TS ID (big-endian), PT channel, 0 for a
// terrestrial or 1 for a satellite tuner, then fixed transmission
// parameters as two hierarchical layers of (modulation, code rate,
// interleave, segments) and the rest zero.
void FillTmcc(const Tuner& t, uint8_t* tmcc)
{
    static const uint8_t kLayers[8] = {1, 1, 2, 1, 3, 2, 2, 12};
    memset(tmcc, 0, 20);
    uint16_t tsId = SimPatTsId(t);
    tmcc[0] = static_cast<uint8_t>(tsId >> 8);
    tmcc[1] = static_cast<uint8_t>(tsId);
    tmcc[2] = t.ptChannel < 0 ? 0xFF : static_cast<uint8_t>(t.ptChannel);
    tmcc[3] = SimIsSatellite(t) ? 1 : 0;
    memcpy(tmcc + 4, kLayers, sizeof kLayers);
}

}  // namespace

extern "C" {

int32_t PTDLL_CALL GetDllVersion(void)
{
    SimLock lock;
    int32_t result = g_sim.version;
    SimLogCall("GetDllVersion() = %d", result);
    return result;
}

int32_t PTDLL_CALL PtDllOpen(const wchar_t* tunerName)
{
    SimLock lock;
    int32_t result = -1;
    int index = SimTunerIndexByName(tunerName);
    if (index >= 0 && index < g_sim.boards * kTunersPerBoard) {
        Tuner& t = g_sim.tuners[index];
        if (!t.open && !t.refused) {
            SimSync(t, SimNowMicros());
            t.open = true;
            t.sleeping = true;
            t.streaming = false;
            result = SimHandleOf(t);
        }
    }
    char name[48];
    LogName(tunerName, name, sizeof name);
    SimLogCall("PtDllOpen(%s) = %d", name, result);
    return result;
}

int32_t PTDLL_CALL PtDllClose(int32_t handle)
{
    SimLock lock;
    int32_t result = kCallFailed;
    if (Tuner* t = SimOpenTuner(handle)) {
        SimSync(*t, SimNowMicros());
        t->open = false;
        t->streaming = false;
        result = 0;
    }
    SimLogCall("PtDllClose(%d) = %d", handle, result);
    return result;
}

int32_t PTDLL_CALL PtDllGetDevCount(void)
{
    SimLock lock;
    int32_t result = g_sim.devCount;
    SimLogCall("PtDllGetDevCount() = %d", result);
    return result;
}

int32_t PTDLL_CALL PtDllSetLnbPower(int32_t handle, int32_t mode)
{
    SimLock lock;
    int32_t result = kCallFailed;
    if (Tuner* t = SimOpenTuner(handle)) {
        g_sim.lnbMode[(SimHandleOf(*t) - kFirstHandle) / kTunersPerBoard] = mode;
        result = 0;
    }
    SimLogCall("PtDllSetLnbPower(%d, %d) = %d", handle, mode, result);
    return result;
}

int32_t PTDLL_CALL PtDllSetTunerSleep(int32_t handle, int32_t sleep)
{
    SimLock lock;
    int32_t result = kCallFailed;
    if (Tuner* t = SimOpenTuner(handle)) {
        t->sleeping = sleep != 0;
        result = 0;
    }
    SimLogCall("PtDllSetTunerSleep(%d, %d) = %d", handle, sleep, result);
    return result;
}

int32_t PTDLL_CALL PtDllGetChannelMax(int32_t handle, uint32_t* count)
{
    SimLock lock;
    int32_t result = kCallFailed;
    if (SimOpenTuner(handle) != nullptr) {
        result = g_sim.channelMaxResult;
        if (result == 0) {
            if (count != nullptr)
                *count = g_sim.channelCount;
            else
                result = kCallFailed;
        }
    }
    SimLogCall("PtDllGetChannelMax(%d) = %d", handle, result);
    return result;
}

int32_t PTDLL_CALL PtDllGetChannelInfo(int32_t handle, uint32_t index, uint32_t* value, char* name16)
{
    SimLock lock;
    int32_t result = kCallFailed;
    if (SimOpenTuner(handle) != nullptr && index < g_sim.channelCount && value != nullptr &&
        name16 != nullptr) {
        // The list keeps every name NUL-padded to the full 16 bytes.
        memcpy(name16, g_sim.channels[index], kChannelNameBytes);
        *value = index;
        result = 0;
    }
    SimLogCall("PtDllGetChannelInfo(%d, %u) = %d", handle, index, result);
    return result;
}

int32_t PTDLL_CALL PtDllSetFrequency(int32_t handle, uint32_t ptChannel)
{
    SimLock lock;
    int32_t result = kCallFailed;
    if (Tuner* t = SimOpenTuner(handle)) {
        bool tune;
        if (g_sim.frequencyResult != -1) {
            result = g_sim.frequencyResult;
            tune = result == 0;
        } else {
            uint32_t limit = SimIsSatellite(*t) ? static_cast<uint32_t>(kSatelliteChannels) : g_sim.channelCount;
            tune = ptChannel < limit;
            result = tune ? 0 : kCallFailed;
        }
        if (tune) {
            // A schedule made before the tune still delivers: a test may
            // schedule data and then have the plug-in tune.
            uint64_t now = SimNowMicros();
            SimSync(*t, now);
            SimRestartStream(*t, now);
            t->ptChannel = static_cast<int32_t>(ptChannel);
            t->selectedTsId = 0;
        }
    }
    SimLogCall("PtDllSetFrequency(%d, %u) = %d", handle, ptChannel, result);
    return result;
}

int32_t PTDLL_CALL PtDllGetTmcc(int32_t handle, void* tmcc20)
{
    SimLock lock;
    int32_t result = kCallFailed;
    if (Tuner* t = SimOpenTuner(handle)) {
        result = g_sim.tmccResult;
        if (result == 0) {
            if (tmcc20 != nullptr)
                FillTmcc(*t, static_cast<uint8_t*>(tmcc20));
            else
                result = kCallFailed;
        }
    }
    SimLogCall("PtDllGetTmcc(%d) = %d", handle, result);
    return result;
}

int32_t PTDLL_CALL PtDllSetIdS(int32_t handle, uint32_t tsId)
{
    SimLock lock;
    int32_t result = kCallFailed;
    if (Tuner* t = SimOpenTuner(handle)) {
        // Accepted on a terrestrial tuner too, where the PAT keeps the TS ID
        // of the PT channel.
        t->selectedTsId = tsId;
        result = 0;
    }
    SimLogCall("PtDllSetIdS(%d, %u) = %d", handle, tsId, result);
    return result;
}

int32_t PTDLL_CALL PtDllGetCnAgc(int32_t handle, uint32_t* cn100, uint32_t* agc, uint32_t* agcMax)
{
    SimLock lock;
    int32_t result = kCallFailed;
    Tuner* t = SimOpenTuner(handle);
    if (t != nullptr && cn100 != nullptr && agc != nullptr && agcMax != nullptr) {
        *cn100 = g_sim.cn100 >= 0 ? static_cast<uint32_t>(g_sim.cn100) : ChannelCn100(t->ptChannel);
        *agcMax = 255;
        // A stronger carrier needs less gain.
        *agc = 255 - *cn100 / 20 % 256;
        result = 0;
    }
    SimLogCall("PtDllGetCnAgc(%d) = %d", handle, result);
    return result;
}

int32_t PTDLL_CALL PtDllSetStreamEnable(int32_t handle, int32_t enable)
{
    SimLock lock;
    int32_t result = kCallFailed;
    if (Tuner* t = SimOpenTuner(handle)) {
        // Settle the time so far under the old state: production runs only
        // while enabled.
        SimSync(*t, SimNowMicros());
        t->streaming = enable != 0;
        result = 0;
    }
    SimLogCall("PtDllSetStreamEnable(%d, %d) = %d", handle, enable, result);
    return result;
}

int32_t PTDLL_CALL PtDllGetStreamEnable(int32_t handle, uint8_t* running)
{
    SimLock lock;
    int32_t result = kCallFailed;
    Tuner* t = SimOpenTuner(handle);
    if (t != nullptr && running != nullptr) {
        *running = t->streaming ? 1 : 0;
        result = 0;
    }
    SimLogCall("PtDllGetStreamEnable(%d) = %d", handle, result);
    return result;
}

int32_t PTDLL_CALL PtDllGetStreamSize(int32_t handle, uint32_t* size)
{
    SimLock lock;
    int32_t result = kCallFailed;
    Tuner* t = SimOpenTuner(handle);
    if (t != nullptr && size != nullptr) {
        SimSync(*t, SimNowMicros());
        *size = SimReadyBytes(*t);
        result = 0;
    }
    SimLogCall("PtDllGetStreamSize(%d) = %d", handle, result);
    return result;
}

int32_t PTDLL_CALL PtDllGetStreamData(int32_t handle, uint8_t* dest, uint32_t capacity, uint32_t* copied)
{
    SimLock lock;
    int32_t result = kCallFailed;
    Tuner* t = SimOpenTuner(handle);
    if (t != nullptr && copied != nullptr && (dest != nullptr || capacity == 0)) {
        SimSync(*t, SimNowMicros());
        uint32_t n = capacity;
        if (g_sim.streamMode != EPTSIM_MODE_ALWAYS && SimReadyBytes(*t) < n)
            n = SimReadyBytes(*t);
        TsRenderBytes(SimStreamId(*t), t->read, dest, n);
        t->read += n;
        if (t->produced < t->read)
            t->produced = t->read;
        *copied = n;
        result = 0;
    }
    SimLogCall("PtDllGetStreamData(%d, %u) = %d", handle, capacity, result);
    return result;
}

int32_t PTDLL_CALL PtDllGetStreamFlush(int32_t handle)
{
    SimLock lock;
    int32_t result = kCallFailed;
    if (Tuner* t = SimOpenTuner(handle)) {
        SimSync(*t, SimNowMicros());
        t->read = t->produced;
        result = 0;
    }
    SimLogCall("PtDllGetStreamFlush(%d) = %d", handle, result);
    return result;
}

}  // extern "C"
