// The board calls. Each one passes the device faults (BoardCall), takes the
// lock, does its work, leaves the lock and then logs itself with its input
// arguments and result, failures included.
#include "board/EarthPtDll.h"

#include <string.h>

#include <windows.h>

#include "standin/CallLog.h"
#include "standin/SharedBoards.h"
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

// Before a board call does its work: a slow-call fault makes it wait, outside
// the lock as a busy driver would; a removed device makes a call on the
// device fail.
class BoardCall
{
public:
    explicit BoardCall(const char* name, bool onDevice = true)
    {
        uint32_t waitMs = 0;
        {
            SimLock lock;
            if (g_sim.slowRemaining != 0 && strcmp(g_sim.slowCall, name) == 0) {
                if (g_sim.slowRemaining != 0xFFFFFFFFu)
                    --g_sim.slowRemaining;
                ++g_sim.slowCalls;
                waitMs = g_sim.slowMs;
            }
            m_removed = onDevice && g_sim.removedMicros != 0 && SimNowMicros() >= g_sim.removedMicros;
            if (m_removed)
                ++g_sim.failedCalls;
        }
        if (waitMs != 0)
            Sleep(waitMs);
    }
    bool Works() const { return !m_removed; }

private:
    bool m_removed;
};

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

int BoardOf(const Tuner& t)
{
    return SimIndexOf(t) / kTunersPerBoard;
}

}  // namespace

extern "C" {

int32_t PTDLL_CALL GetDllVersion(void)
{
    int32_t result;
    {
        // The library's own version: it answers without a device.
        BoardCall call("GetDllVersion", false);
        SimLock lock;
        result = g_sim.version;
    }
    CallLogAdd("GetDllVersion() = %d", result);
    return result;
}

int32_t PTDLL_CALL PtDllOpen(const wchar_t* tunerName)
{
    int32_t result = -1;
    BoardCall call("PtDllOpen");
    if (call.Works()) {
        SimLock lock;
        int index = SimTunerIndexByName(tunerName);
        if (index >= 0 && index < g_sim.boards * kTunersPerBoard) {
            Tuner& t = g_sim.tuners[index];
            if (!t.open && !t.refused && SharedClaimTuner(index)) {
                SimSync(t, SimNowMicros());
                t.open = true;
                t.sleeping = true;
                t.streaming = false;
                result = SimHandleOf(t);
            }
        }
    }
    char name[48];
    LogName(tunerName, name, sizeof name);
    CallLogAdd("PtDllOpen(%s) = %d", name, result);
    return result;
}

int32_t PTDLL_CALL PtDllClose(int32_t handle)
{
    int32_t result = kCallFailed;
    BoardCall call("PtDllClose");
    if (call.Works()) {
        SimLock lock;
        if (Tuner* t = SimOpenTuner(handle)) {
            SimCloseTuner(*t);
            result = 0;
        }
    }
    CallLogAdd("PtDllClose(%d) = %d", handle, result);
    return result;
}

int32_t PTDLL_CALL PtDllGetDevCount(void)
{
    int32_t result = 0;
    BoardCall call("PtDllGetDevCount");
    if (call.Works()) {
        SimLock lock;
        result = g_sim.devCount;
    }
    CallLogAdd("PtDllGetDevCount() = %d", result);
    return result;
}

int32_t PTDLL_CALL PtDllSetLnbPower(int32_t handle, int32_t mode)
{
    int32_t result = kCallFailed;
    BoardCall call("PtDllSetLnbPower");
    if (call.Works()) {
        SimLock lock;
        if (Tuner* t = SimOpenTuner(handle)) {
            SharedSetLnbMode(BoardOf(*t), mode);
            result = 0;
        }
    }
    CallLogAdd("PtDllSetLnbPower(%d, %d) = %d", handle, mode, result);
    return result;
}

int32_t PTDLL_CALL PtDllSetTunerSleep(int32_t handle, int32_t sleep)
{
    int32_t result = kCallFailed;
    BoardCall call("PtDllSetTunerSleep");
    if (call.Works()) {
        SimLock lock;
        if (Tuner* t = SimOpenTuner(handle)) {
            // The time so far counts under the old state.
            SimSync(*t, SimNowMicros());
            t->sleeping = sleep != 0;
            result = 0;
        }
    }
    CallLogAdd("PtDllSetTunerSleep(%d, %d) = %d", handle, sleep, result);
    return result;
}

int32_t PTDLL_CALL PtDllGetChannelMax(int32_t handle, uint32_t* count)
{
    int32_t result = kCallFailed;
    BoardCall call("PtDllGetChannelMax");
    if (call.Works()) {
        SimLock lock;
        if (SimOpenTuner(handle) != nullptr) {
            result = g_sim.channelMaxResult;
            if (result == 0) {
                if (count != nullptr)
                    *count = g_sim.channelCount;
                else
                    result = kCallFailed;
            }
        }
    }
    CallLogAdd("PtDllGetChannelMax(%d) = %d", handle, result);
    return result;
}

int32_t PTDLL_CALL PtDllGetChannelInfo(int32_t handle, uint32_t index, uint32_t* value, char* name16)
{
    int32_t result = kCallFailed;
    BoardCall call("PtDllGetChannelInfo");
    if (call.Works()) {
        SimLock lock;
        if (SimOpenTuner(handle) != nullptr && index < g_sim.channelCount && value != nullptr &&
            name16 != nullptr) {
            // The list keeps every name NUL-padded to the full 16 bytes.
            memcpy(name16, g_sim.channels[index], kChannelNameBytes);
            *value = index;
            result = 0;
        }
    }
    CallLogAdd("PtDllGetChannelInfo(%d, %u) = %d", handle, index, result);
    return result;
}

int32_t PTDLL_CALL PtDllSetFrequency(int32_t handle, uint32_t ptChannel)
{
    int32_t result = kCallFailed;
    BoardCall call("PtDllSetFrequency");
    if (call.Works()) {
        SimLock lock;
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
            if (tune)
                SimTune(*t, static_cast<int32_t>(ptChannel), SimNowMicros());
        }
    }
    CallLogAdd("PtDllSetFrequency(%d, %u) = %d", handle, ptChannel, result);
    return result;
}

int32_t PTDLL_CALL PtDllGetTmcc(int32_t handle, void* tmcc20)
{
    int32_t result = kCallFailed;
    BoardCall call("PtDllGetTmcc");
    if (call.Works()) {
        SimLock lock;
        if (Tuner* t = SimOpenTuner(handle)) {
            result = g_sim.tmccResult;
            if (result == 0 && (tmcc20 == nullptr || !SimLocked(*t, SimNowMicros())))
                result = kCallFailed;
            if (result == 0)
                FillTmcc(*t, static_cast<uint8_t*>(tmcc20));
        }
    }
    CallLogAdd("PtDllGetTmcc(%d) = %d", handle, result);
    return result;
}

int32_t PTDLL_CALL PtDllSetIdS(int32_t handle, uint32_t tsId)
{
    int32_t result = kCallFailed;
    BoardCall call("PtDllSetIdS");
    if (call.Works()) {
        SimLock lock;
        if (Tuner* t = SimOpenTuner(handle)) {
            // Packets so far were made under the old TS ID. Accepted on a
            // terrestrial tuner too, where the PAT keeps the TS ID of the PT
            // channel.
            SimSync(*t, SimNowMicros());
            t->selectedTsId = tsId;
            result = 0;
        }
    }
    CallLogAdd("PtDllSetIdS(%d, %u) = %d", handle, tsId, result);
    return result;
}

int32_t PTDLL_CALL PtDllGetCnAgc(int32_t handle, uint32_t* cn100, uint32_t* agc, uint32_t* agcMax)
{
    int32_t result = kCallFailed;
    BoardCall call("PtDllGetCnAgc");
    if (call.Works()) {
        SimLock lock;
        Tuner* t = SimOpenTuner(handle);
        if (t != nullptr && cn100 != nullptr && agc != nullptr && agcMax != nullptr) {
            uint64_t now = SimNowMicros();
            SimSync(*t, now);
            *cn100 = SimCn100(*t, now);
            *agcMax = 255;
            // A stronger carrier needs less gain.
            *agc = 255 - *cn100 / 20 % 256;
            result = 0;
        }
    }
    CallLogAdd("PtDllGetCnAgc(%d) = %d", handle, result);
    return result;
}

int32_t PTDLL_CALL PtDllSetStreamEnable(int32_t handle, int32_t enable)
{
    int32_t result = kCallFailed;
    BoardCall call("PtDllSetStreamEnable");
    if (call.Works()) {
        SimLock lock;
        if (Tuner* t = SimOpenTuner(handle)) {
            // Settle the time so far under the old state: production runs only
            // while enabled.
            SimSync(*t, SimNowMicros());
            t->streaming = enable != 0;
            result = 0;
        }
    }
    CallLogAdd("PtDllSetStreamEnable(%d, %d) = %d", handle, enable, result);
    return result;
}

int32_t PTDLL_CALL PtDllGetStreamEnable(int32_t handle, uint8_t* running)
{
    int32_t result = kCallFailed;
    BoardCall call("PtDllGetStreamEnable");
    if (call.Works()) {
        SimLock lock;
        Tuner* t = SimOpenTuner(handle);
        if (t != nullptr && running != nullptr) {
            *running = t->streaming ? 1 : 0;
            result = 0;
        }
    }
    CallLogAdd("PtDllGetStreamEnable(%d) = %d", handle, result);
    return result;
}

int32_t PTDLL_CALL PtDllGetStreamSize(int32_t handle, uint32_t* size)
{
    int32_t result = kCallFailed;
    BoardCall call("PtDllGetStreamSize");
    if (call.Works()) {
        SimLock lock;
        Tuner* t = SimOpenTuner(handle);
        if (t != nullptr && size != nullptr) {
            SimSync(*t, SimNowMicros());
            *size = SimReadyBytes(*t);
            result = 0;
        }
    }
    CallLogAdd("PtDllGetStreamSize(%d) = %d", handle, result);
    return result;
}

int32_t PTDLL_CALL PtDllGetStreamData(int32_t handle, uint8_t* dest, uint32_t capacity, uint32_t* copied)
{
    int32_t result = kCallFailed;
    BoardCall call("PtDllGetStreamData");
    if (call.Works()) {
        SimLock lock;
        Tuner* t = SimOpenTuner(handle);
        if (t != nullptr && copied != nullptr && (dest != nullptr || capacity == 0)) {
            SimSync(*t, SimNowMicros());
            uint64_t before = t->read;
            SimCopyOut(*t, dest, capacity);
            *copied = static_cast<uint32_t>(t->read - before);
            result = 0;
        }
    }
    CallLogAdd("PtDllGetStreamData(%d, %u) = %d", handle, capacity, result);
    return result;
}

int32_t PTDLL_CALL PtDllGetStreamFlush(int32_t handle)
{
    int32_t result = kCallFailed;
    BoardCall call("PtDllGetStreamFlush");
    if (call.Works()) {
        SimLock lock;
        if (Tuner* t = SimOpenTuner(handle)) {
            SimSync(*t, SimNowMicros());
            t->read = t->produced;
            result = 0;
        }
    }
    CallLogAdd("PtDllGetStreamFlush(%d) = %d", handle, result);
    return result;
}

}  // extern "C"
