#include "standin/SimState.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include <windows.h>
#include <mmsystem.h>

#include "standin/CallLog.h"

Machine g_sim;

namespace {

CRITICAL_SECTION g_lock;
bool g_initialised = false;

// A wait longer than this earns nothing more: by then any rate has filled the
// buffer, and the product with the rate stays well inside 64 bits.
const uint64_t kMaxAccrualMicros = 1000000000ull;
const uint64_t kPacketByteMicros = kTsPacketBytes * 1000000ull;

}  // namespace

// Only the lock is made here; everything else waits for the first call.
BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    if (reason == DLL_PROCESS_ATTACH) {
        DisableThreadLibraryCalls(instance);
        InitializeCriticalSection(&g_lock);
    } else if (reason == DLL_PROCESS_DETACH && reserved == nullptr) {
        DeleteCriticalSection(&g_lock);
    }
    return TRUE;
}

SimLock::SimLock()
{
    EnterCriticalSection(&g_lock);
    if (!g_initialised) {
        SimResetMachine();
        g_initialised = true;
    }
}

SimLock::~SimLock()
{
    LeaveCriticalSection(&g_lock);
}

void SimSetDefaultChannels(void)
{
    uint32_t n = 0;
    for (int ch = 13; ch <= 62; ++ch)
        snprintf(g_sim.channels[n++], kChannelNameBytes, "%dch", ch);
    for (int ch = 13; ch <= 63; ++ch)
        snprintf(g_sim.channels[n++], kChannelNameBytes, "C%dch", ch);
    g_sim.channelCount = n;
}

void SimResetMachine(void)
{
    memset(&g_sim, 0, sizeof g_sim);
    g_sim.version = 1;
    g_sim.devCount = 1;
    g_sim.boards = 1;
    SimSetDefaultChannels();
    g_sim.frequencyResult = -1;
    g_sim.cn100 = -1;
    g_sim.streamMode = EPTSIM_MODE_CLOCK;
    g_sim.terrestrialRate = 2106000;
    g_sim.satelliteRate = 3000000;
    uint64_t now = SimNowMicros();
    for (Tuner& t : g_sim.tuners) {
        t.ptChannel = -1;
        t.clockMicros = now;
    }
}

uint64_t SimNowMicros(void)
{
    LARGE_INTEGER frequency;
    LARGE_INTEGER counter;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&counter);
    uint64_t f = static_cast<uint64_t>(frequency.QuadPart);
    uint64_t c = static_cast<uint64_t>(counter.QuadPart);
    // Split so that the multiplication cannot overflow on a long uptime.
    return c / f * 1000000ull + c % f * 1000000ull / f;
}

int SimTunerIndexByName(const wchar_t* name)
{
    if (name == nullptr || name[0] != L'E' || name[1] != L'c')
        return -1;
    const wchar_t* p = name + 2;
    if (*p < L'1' || *p > L'9')
        return -1;
    int board = 0;
    while (*p >= L'0' && *p <= L'9') {
        board = board * 10 + (*p - L'0');
        if (board > kMaxBoards)
            return -1;
        ++p;
    }
    static const wchar_t* const kSlotNames[kTunersPerBoard] = {L"Bt1", L"Bt2", L"Bs1", L"Bs2"};
    for (int slot = 0; slot < kTunersPerBoard; ++slot) {
        if (wcscmp(p, kSlotNames[slot]) == 0)
            return (board - 1) * kTunersPerBoard + slot;
    }
    return -1;
}

Tuner* SimTunerByHandle(int32_t handle)
{
    int32_t index = handle - kFirstHandle;
    if (handle < kFirstHandle || index >= g_sim.boards * kTunersPerBoard)
        return nullptr;
    return &g_sim.tuners[index];
}

Tuner* SimOpenTuner(int32_t handle)
{
    Tuner* t = SimTunerByHandle(handle);
    return (t != nullptr && t->open) ? t : nullptr;
}

int32_t SimHandleOf(const Tuner& t)
{
    return kFirstHandle + static_cast<int32_t>(&t - g_sim.tuners);
}

bool SimIsSatellite(const Tuner& t)
{
    return (&t - g_sim.tuners) % kTunersPerBoard >= 2;
}

void SimSync(Tuner& t, uint64_t now)
{
    uint64_t elapsed = now > t.clockMicros ? now - t.clockMicros : 0;
    t.clockMicros = now;
    if (g_sim.streamMode == EPTSIM_MODE_CLOCK && t.streaming) {
        if (elapsed > kMaxAccrualMicros)
            elapsed = kMaxAccrualMicros;
        uint32_t rate = SimIsSatellite(t) ? g_sim.satelliteRate : g_sim.terrestrialRate;
        t.creditByteMicros += elapsed * rate;
        uint64_t packets = t.creditByteMicros / kPacketByteMicros;
        t.creditByteMicros -= packets * kPacketByteMicros;
        t.produced += packets * kTsPacketBytes;
    }
    if (t.scheduled && now >= t.scheduledDueMicros) {
        t.produced += t.scheduledBytes;
        t.scheduled = false;
    }
    // Always-ready mode never runs over: what is read is produced on the spot.
    if (g_sim.streamMode != EPTSIM_MODE_ALWAYS && t.produced - t.read > EPTSIM_BUFFER_BYTES) {
        // Lose whole packets so that a reader resumes on a packet boundary
        // and sees the gap as a continuity jump.
        uint64_t oldestKept = t.produced - EPTSIM_BUFFER_BYTES;
        t.read = (oldestKept + kTsPacketBytes - 1) / kTsPacketBytes * kTsPacketBytes;
    }
}

void SimSyncAll(uint64_t now)
{
    for (Tuner& t : g_sim.tuners)
        SimSync(t, now);
}

uint32_t SimReadyBytes(const Tuner& t)
{
    if (g_sim.streamMode == EPTSIM_MODE_ALWAYS)
        return EPTSIM_BUFFER_BYTES;
    return static_cast<uint32_t>(t.produced - t.read);
}

void SimRestartStream(Tuner& t, uint64_t now)
{
    t.produced = 0;
    t.read = 0;
    t.creditByteMicros = 0;
    t.clockMicros = now;
}

uint16_t SimPatTsId(const Tuner& t)
{
    if (SimIsSatellite(t))
        return static_cast<uint16_t>(t.selectedTsId);
    if (t.ptChannel < 0)
        return 0;
    return static_cast<uint16_t>(0x7C00 + t.ptChannel);
}

TsStreamId SimStreamId(const Tuner& t)
{
    TsStreamId id;
    id.tsId = SimPatTsId(t);
    id.ptChannel = t.ptChannel < 0 ? 0xFF : static_cast<uint8_t>(t.ptChannel);
    return id;
}

void SimLogCall(const char* format, ...)
{
    if (!CallLogEnabled())
        return;
    char text[kCallLogTextBytes];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof text, format, args);
    va_end(args);
    // Some runtimes leave a cut text unterminated.
    text[sizeof text - 1] = '\0';
    CallLogAdd(text, timeGetTime());
}
