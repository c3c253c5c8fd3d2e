#include "standin/SimState.h"

#include <stdio.h>
#include <string.h>

#include <windows.h>

#include "standin/CallLog.h"
#include "standin/Setup.h"
#include "standin/SharedBoards.h"

Machine g_sim;

namespace {

CRITICAL_SECTION g_lock;
bool g_initialised = false;

// A wait longer than this earns nothing more: by then any rate has filled the
// buffer, and the product with the rate stays well inside 64 bits.
const uint64_t kMaxAccrualMicros = 1000000000ull;
const uint64_t kPacketByteMicros = kTsPacketBytes * 1000000ull;
// The buffer and room for the packet being rendered beyond what is ready.
const uint32_t kRingBytes = EPTSIM_BUFFER_BYTES + 4 * kTsPacketBytes;
const uint64_t kMaxFeedFileBytes = 256u * 1024 * 1024;

uint64_t Max(uint64_t a, uint64_t b)
{
    return a > b ? a : b;
}

uint64_t Min(uint64_t a, uint64_t b)
{
    return a < b ? a : b;
}

// Somewhere in 18.00..30.00 dB, fixed per PT channel.
uint32_t ChannelCn100(int32_t ptChannel)
{
    return 1800 + static_cast<uint32_t>(ptChannel) * 373 % 1201;
}

// A PT channel beyond any list, which only a forced tuning reaches, has none.
bool NoSignal(bool satellite, int32_t ptChannel)
{
    if (ptChannel >= kMaxChannels)
        return true;
    return (g_sim.noSignal[satellite ? 1 : 0][ptChannel / 8] >> (ptChannel % 8) & 1) != 0;
}

// The satellite transponders the stand-in knows: BS channels 1..23 on PT
// channels 0..11, ND channels 2..24 on PT channels 12..23. A TS ID names its
// channel in bits 4 to 8.
bool SatelliteCarries(int32_t ptChannel, uint32_t tsId)
{
    uint32_t network = tsId >> 12;
    uint32_t number = tsId >> 4 & 0x1F;
    if (tsId > 0xFFFF)
        return false;
    if (ptChannel < 12)
        return network == 4 && number == static_cast<uint32_t>(2 * ptChannel + 1);
    if (ptChannel < 24)
        return (network == 6 || network == 7) && number == static_cast<uint32_t>(2 * (ptChannel - 11));
    return false;
}

const FeedEntry* FeedOf(const Tuner& t)
{
    if (t.ptChannel < 0)
        return nullptr;
    return SimFeedFor(SimIsSatellite(t), static_cast<uint32_t>(t.ptChannel), t.selectedTsId);
}

// Tuned, with signal on the PT channel and, on a satellite tuner, a TS ID the
// channel carries selected: receiving once locked and not in a drop.
bool Carrying(const Tuner& t)
{
    if (t.ptChannel < 0 || NoSignal(SimIsSatellite(t), t.ptChannel))
        return false;
    return !SimIsSatellite(t) || SatelliteCarries(t.ptChannel, t.selectedTsId) || FeedOf(t) != nullptr;
}

bool InDrop(const Tuner& t, uint64_t now)
{
    return now >= t.dropStartMicros && now < t.dropEndMicros;
}

struct Source {
    const Feed* feed;
    TsChannel channel;
};

Source SourceOf(const Tuner& t)
{
    Source s;
    const FeedEntry* entry = FeedOf(t);
    s.feed = entry ? &entry->feed : nullptr;
    memset(&s.channel, 0, sizeof s.channel);
    s.channel.tsId = SimPatTsId(t);
    s.channel.ptChannel = t.ptChannel < 0 ? 0xFF : static_cast<uint8_t>(t.ptChannel);
    s.channel.bytesPerSecond = SimChannelRate(t);
    char* name = s.channel.name;
    if (t.ptChannel < 0) {
        name[0] = '\0';
    } else if (!SimIsSatellite(t)) {
        if (static_cast<uint32_t>(t.ptChannel) < g_sim.channelCount)
            memcpy(name, g_sim.channels[t.ptChannel], kChannelNameBytes);
    } else {
        uint32_t number = t.selectedTsId >> 4 & 0x1F;
        const char* band = (t.selectedTsId >> 12) == 4 ? "BS" : "ND";
        snprintf(name, kTsServiceNameBytes, "%s%u 0x%04X", band, number, t.selectedTsId & 0xFFFF);
    }
    return s;
}

void RenderSource(const Source& s, uint64_t k, uint8_t* packet)
{
    if (s.feed != nullptr)
        FeedRenderPacket(*s.feed, k, s.channel.tsId, packet);
    else
        TsRenderGenerated(s.channel, k, packet);
}

bool HasRing(Tuner& t)
{
    if (t.ring == nullptr)
        t.ring = static_cast<uint8_t*>(VirtualAlloc(nullptr, kRingBytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    return t.ring != nullptr;
}

void FreeRing(Tuner& t)
{
    if (t.ring != nullptr)
        VirtualFree(t.ring, 0, MEM_RELEASE);
    t.ring = nullptr;
}

void RingWrite(Tuner& t, const uint8_t* bytes, uint32_t size)
{
    uint32_t at = static_cast<uint32_t>(t.rendered % kRingBytes);
    uint32_t first = size < kRingBytes - at ? size : kRingBytes - at;
    memcpy(t.ring + at, bytes, first);
    memcpy(t.ring, bytes + first, size - first);
    t.rendered += size;
}

void RingRead(const Tuner& t, uint8_t* dest, uint32_t size)
{
    uint32_t at = static_cast<uint32_t>(t.read % kRingBytes);
    uint32_t first = size < kRingBytes - at ? size : kRingBytes - at;
    memcpy(dest, t.ring + at, first);
    memcpy(dest + first, t.ring, size - first);
}

bool Eligible(int kind, const uint8_t* packet)
{
    uint16_t pid = TsPid(packet);
    if (!TsHasPayload(packet) || pid == kTsNullPid)
        return false;
    return kind != EPTSIM_FAULT_SCRAMBLED || pid != kTsPatPid;
}

bool Hits(Tuner& t, int kind, uint64_t k, const uint8_t* packet)
{
    FaultRun& run = t.faults[kind];
    if (run.remaining == 0 || k < run.nextPacket || !Eligible(kind, packet))
        return false;
    --run.remaining;
    run.nextPacket = k + run.every;
    ++t.counts[kind];
    return true;
}

// Renders the channel's next packet into the buffer, with the faults due.
void RenderNext(Tuner& t, const Source& s)
{
    uint8_t packet[kTsPacketBytes];
    uint64_t k = t.nextPacket++;
    RenderSource(s, k, packet);
    if (Hits(t, EPTSIM_FAULT_LOST_PACKETS, k, packet))
        return;
    uint32_t size = kTsPacketBytes;
    if (Hits(t, EPTSIM_FAULT_TRANSPORT_ERROR, k, packet))
        packet[1] |= 0x80;
    if (Hits(t, EPTSIM_FAULT_SCRAMBLED, k, packet))
        packet[3] = static_cast<uint8_t>((packet[3] & 0x3F) | 0x80);
    bool cut = Hits(t, EPTSIM_FAULT_LOST_BYTES, k, packet);
    if (cut)
        size -= EPTSIM_LOST_BYTES;
    RingWrite(t, packet, size);
    if (cut)
        t.alignBase = t.rendered;
}

// The broadcast went on without this tuner: its packets pass unseen, and a
// fault due among them waits for the first packet after.
void MissPackets(Tuner& t, uint64_t packets)
{
    t.nextPacket += packets;
    t.counts[EPTSIM_FAULT_MISSED_PACKETS] += packets;
    for (FaultRun& run : t.faults) {
        if (run.nextPacket < t.nextPacket)
            run.nextPacket = t.nextPacket;
    }
}

// Loses whole oldest packets beyond the buffer, so that a reader resumes on a
// packet start and sees the gap as a continuity jump.
void Overflow(Tuner& t)
{
    if (t.produced - t.read <= EPTSIM_BUFFER_BYTES)
        return;
    uint64_t oldestKept = t.produced - EPTSIM_BUFFER_BYTES;
    uint64_t resume = t.alignBase;
    if (oldestKept > t.alignBase)
        resume += (oldestKept - t.alignBase + kTsPacketBytes - 1) / kTsPacketBytes * kTsPacketBytes;
    if (resume > t.produced)
        resume = t.produced;
    t.counts[EPTSIM_FAULT_OVERFLOW_BYTES] += resume - t.read;
    t.read = resume;
}

void Accrue(Tuner& t, uint64_t from, uint64_t to, bool receive)
{
    if (to <= from)
        return;
    uint64_t elapsed = to - from;
    if (elapsed > kMaxAccrualMicros)
        elapsed = kMaxAccrualMicros;
    t.creditByteMicros += elapsed * SimChannelRate(t);
    uint64_t packets = t.creditByteMicros / kPacketByteMicros;
    t.creditByteMicros -= packets * kPacketByteMicros;
    if (receive)
        SimProduce(t, packets * kTsPacketBytes);
    else
        MissPackets(t, packets);
}

}  // namespace

// Only the locks are made here; everything else waits for the first call,
// outside the loader's lock.
BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    if (reason == DLL_PROCESS_ATTACH) {
        DisableThreadLibraryCalls(instance);
        InitializeCriticalSection(&g_lock);
        CallLogInit();
        SetupRemember(instance);
    } else if (reason == DLL_PROCESS_DETACH && reserved == nullptr) {
        // Unloaded while the process goes on: its tuners are free at once. A
        // process that ends frees them by ending.
        SharedReleaseOwn();
        CallLogClose();
        DeleteCriticalSection(&g_lock);
    }
    return TRUE;
}

SimLock::SimLock()
{
    EnterCriticalSection(&g_lock);
    if (!g_initialised) {
        g_initialised = true;
        SimResetMachine();
        SetupLoadBesideModule();
    }
}

SimLock::~SimLock()
{
    LeaveCriticalSection(&g_lock);
}

void SimSetDefaultChannels(void)
{
    memset(g_sim.channels, 0, sizeof g_sim.channels);
    uint32_t n = 0;
    for (int ch = 13; ch <= 62; ++ch)
        snprintf(g_sim.channels[n++], kChannelNameBytes, "%dch", ch);
    for (int ch = 13; ch <= 63; ++ch)
        snprintf(g_sim.channels[n++], kChannelNameBytes, "C%dch", ch);
    g_sim.channelCount = n;
}

void SimResetMachine(void)
{
    SimClearFeeds();
    for (Tuner& t : g_sim.tuners) {
        FreeRing(t);
        if (t.open)
            SharedReleaseTuner(SimIndexOf(t));
    }
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
    g_sim.lockMicros = 30000;
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

int SimIndexOf(const Tuner& t)
{
    return static_cast<int>(&t - g_sim.tuners);
}

int32_t SimHandleOf(const Tuner& t)
{
    return kFirstHandle + SimIndexOf(t);
}

bool SimIsSatellite(const Tuner& t)
{
    return SimIndexOf(t) % kTunersPerBoard >= 2;
}

void SimCloseTuner(Tuner& t)
{
    SimSync(t, SimNowMicros());
    t.open = false;
    t.streaming = false;
    // What was buffered goes with the handle.
    t.read = t.produced = t.rendered;
    FreeRing(t);
    SharedReleaseTuner(SimIndexOf(t));
}

void SimTune(Tuner& t, int32_t ptChannel, uint64_t now)
{
    SimSync(t, now);
    SimRestartStream(t, now);
    t.ptChannel = ptChannel;
    t.selectedTsId = 0;
    t.tunedMicros = now;
    memset(t.counts, 0, sizeof t.counts);
    for (int kind = 0; kind < kPacketFaults; ++kind)
        SimArmFault(t, kind, 0);
    t.dropStartMicros = t.dropEndMicros = 0;
    t.dropCounted = false;
    if (g_sim.dropMs != 0) {
        t.dropStartMicros = now + g_sim.dropAfterMs * 1000ull;
        t.dropEndMicros = t.dropStartMicros + g_sim.dropMs * 1000ull;
    }
}

bool SimLocked(const Tuner& t, uint64_t now)
{
    return t.ptChannel >= 0 && !NoSignal(SimIsSatellite(t), t.ptChannel) &&
           now >= t.tunedMicros + g_sim.lockMicros && !InDrop(t, now);
}

bool SimReceiving(const Tuner& t, uint64_t now)
{
    return Carrying(t) && SimLocked(t, now);
}

uint32_t SimCn100(const Tuner& t, uint64_t now)
{
    if (g_sim.cn100 >= 0)
        return static_cast<uint32_t>(g_sim.cn100);
    return SimReceiving(t, now) ? ChannelCn100(t.ptChannel) : 0;
}

uint32_t SimChannelRate(const Tuner& t)
{
    const FeedEntry* entry = FeedOf(t);
    if (entry != nullptr && entry->bytesPerSecond != 0)
        return entry->bytesPerSecond;
    if (entry != nullptr && entry->feed.bytesPerSecond != 0)
        return entry->feed.bytesPerSecond;
    return SimIsSatellite(t) ? g_sim.satelliteRate : g_sim.terrestrialRate;
}

void SimSync(Tuner& t, uint64_t now)
{
    uint64_t from = t.clockMicros;
    t.clockMicros = now;
    if (t.dropEndMicros > t.dropStartMicros && now >= t.dropStartMicros && !t.dropCounted) {
        t.dropCounted = true;
        ++t.counts[EPTSIM_FAULT_SIGNAL_DROPS];
    }
    if (g_sim.streamMode == EPTSIM_MODE_CLOCK && t.streaming && !t.sleeping && Carrying(t)) {
        uint64_t start = Max(from, t.tunedMicros + g_sim.lockMicros);
        uint64_t dropStart = t.dropStartMicros;
        uint64_t dropEnd = t.dropEndMicros;
        if (dropEnd <= dropStart) {
            Accrue(t, start, now, true);
        } else {
            Accrue(t, start, Min(now, dropStart), true);
            Accrue(t, Max(start, dropStart), Min(now, dropEnd), false);
            Accrue(t, Max(start, dropEnd), now, true);
        }
    }
    if (t.scheduled && now >= t.scheduledDueMicros) {
        t.scheduled = false;
        SimProduce(t, t.scheduledBytes);
    }
    // Always-ready mode never runs over: what is read is produced on the spot.
    if (g_sim.streamMode != EPTSIM_MODE_ALWAYS)
        Overflow(t);
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

namespace {

// Always mode, with nothing waiting in the buffer and no packet fault armed:
// whole packets go straight to the reader, so that the benchmark measures
// the plug-in's copies, not a copy of the stand-in's own.
void RenderStraight(Tuner& t, uint8_t** dest, uint32_t* size)
{
    if (t.rendered != t.read)
        return;
    for (const FaultRun& run : t.faults) {
        if (run.remaining != 0)
            return;
    }
    Source s = SourceOf(t);
    uint32_t packets = *size / kTsPacketBytes;
    for (uint32_t i = 0; i < packets; ++i)
        RenderSource(s, t.nextPacket++, *dest + i * kTsPacketBytes);
    uint32_t bytes = packets * kTsPacketBytes;
    t.rendered += bytes;
    t.produced = t.read = t.rendered;
    *dest += bytes;
    *size -= bytes;
}

}  // namespace

void SimProduce(Tuner& t, uint64_t bytes)
{
    if (bytes == 0 || !HasRing(t))
        return;
    uint64_t target = t.produced + bytes;
    // Packets that an overflow would lose at once are not worth rendering.
    uint64_t keep = EPTSIM_BUFFER_BYTES + kTsPacketBytes;
    if (t.rendered == t.produced && target > t.rendered + keep) {
        uint64_t skipped = (target - keep - t.rendered) / kTsPacketBytes;
        t.nextPacket += skipped;
        t.rendered += skipped * kTsPacketBytes;
        t.produced = t.rendered;
        for (FaultRun& run : t.faults) {
            if (run.nextPacket < t.nextPacket)
                run.nextPacket = t.nextPacket;
        }
    }
    Source s = SourceOf(t);
    while (t.rendered < target)
        RenderNext(t, s);
    t.produced = target;
}

void SimCopyOut(Tuner& t, uint8_t* dest, uint32_t size)
{
    if (g_sim.streamMode == EPTSIM_MODE_ALWAYS)
        RenderStraight(t, &dest, &size);
    while (size > 0) {
        if (t.produced == t.read) {
            if (g_sim.streamMode != EPTSIM_MODE_ALWAYS)
                return;
            SimProduce(t, Min(size, EPTSIM_BUFFER_BYTES));
            if (t.produced == t.read)
                return;
        }
        uint64_t ready = t.produced - t.read;
        uint32_t take = ready < size ? static_cast<uint32_t>(ready) : size;
        RingRead(t, dest, take);
        t.read += take;
        dest += take;
        size -= take;
    }
}

void SimRestartStream(Tuner& t, uint64_t now)
{
    t.rendered = 0;
    t.produced = 0;
    t.read = 0;
    t.nextPacket = 0;
    t.alignBase = 0;
    t.creditByteMicros = 0;
    t.clockMicros = now;
}

void SimArmFault(Tuner& t, int kind, uint64_t fromPacket)
{
    const FaultPlan& plan = g_sim.faults[kind];
    FaultRun& run = t.faults[kind];
    run.remaining = plan.count;
    run.every = plan.every;
    run.nextPacket = fromPacket + plan.after;
}

uint16_t SimPatTsId(const Tuner& t)
{
    if (SimIsSatellite(t))
        return static_cast<uint16_t>(t.selectedTsId);
    if (t.ptChannel < 0)
        return 0;
    return static_cast<uint16_t>(0x7C00 + t.ptChannel);
}

void SimRenderBytes(const Tuner& t, uint64_t offset, uint8_t* dest, uint32_t size)
{
    Source s = SourceOf(t);
    uint64_t k = offset / kTsPacketBytes;
    uint32_t skip = static_cast<uint32_t>(offset % kTsPacketBytes);
    uint8_t packet[kTsPacketBytes];
    while (size > 0) {
        uint32_t take = kTsPacketBytes - skip;
        if (take > size)
            take = size;
        RenderSource(s, k++, packet);
        memcpy(dest, packet + skip, take);
        dest += take;
        size -= take;
        skip = 0;
    }
}

const FeedEntry* SimFeedFor(bool satellite, uint32_t ptChannel, uint32_t tsId)
{
    for (const FeedEntry& e : g_sim.feeds) {
        if (e.used && e.satellite == satellite && e.ptChannel == ptChannel && (!satellite || e.tsId == tsId))
            return &e;
    }
    return nullptr;
}

namespace {

void FreeFeed(FeedEntry& e)
{
    if (e.used && e.feed.packets != nullptr)
        VirtualFree(e.feed.packets, 0, MEM_RELEASE);
    memset(&e, 0, sizeof e);
}

// The whole file in memory from VirtualAlloc, or null.
uint8_t* ReadWholeFile(const wchar_t* path, size_t* size)
{
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return nullptr;
    LARGE_INTEGER length;
    uint8_t* data = nullptr;
    if (GetFileSizeEx(file, &length) && length.QuadPart > 0 &&
        static_cast<uint64_t>(length.QuadPart) <= kMaxFeedFileBytes) {
        *size = static_cast<size_t>(length.QuadPart);
        data = static_cast<uint8_t*>(VirtualAlloc(nullptr, *size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    }
    size_t done = 0;
    while (data != nullptr && done < *size) {
        DWORD got = 0;
        DWORD want = static_cast<DWORD>(*size - done < 0x1000000 ? *size - done : 0x1000000);
        if (!ReadFile(file, data + done, want, &got, nullptr) || got == 0) {
            VirtualFree(data, 0, MEM_RELEASE);
            data = nullptr;
        }
        done += got;
    }
    CloseHandle(file);
    return data;
}

}  // namespace

int32_t SimSetFeed(bool satellite, uint32_t ptChannel, uint32_t tsId, const wchar_t* path,
                   uint32_t bytesPerSecond)
{
    FeedEntry* slot = const_cast<FeedEntry*>(SimFeedFor(satellite, ptChannel, tsId));
    if (path == nullptr) {
        if (slot != nullptr)
            FreeFeed(*slot);
        return 0;
    }
    for (FeedEntry& e : g_sim.feeds) {
        if (slot == nullptr && !e.used)
            slot = &e;
    }
    if (slot == nullptr)
        return -1;
    // The feed in place stays until the new file has proved good.
    Feed loaded;
    size_t size = 0;
    uint8_t* data = ReadWholeFile(path, &size);
    if (data == nullptr)
        return -1;
    if (!FeedParse(data, size, &loaded)) {
        VirtualFree(data, 0, MEM_RELEASE);
        return -1;
    }
    FreeFeed(*slot);
    slot->used = true;
    slot->satellite = satellite;
    slot->ptChannel = ptChannel;
    slot->tsId = satellite ? tsId : 0;
    slot->bytesPerSecond = bytesPerSecond;
    slot->feed = loaded;
    return 0;
}

void SimClearFeeds(void)
{
    for (FeedEntry& e : g_sim.feeds)
        FreeFeed(e);
}
