// The instance's load and its end: paths, settings, the channel lists and
// their cache, and freeing the instance once nothing holds it.
#include "net/NetCore.h"
#include "net/Text.h"
#include "sidefiles/OwnPath.h"

static_assert(kRingSize % kPacketSize == 0, "the ring holds whole packets");

NetCore::NetCore(const NetCalls* calls, void* module)
    : m_calls(calls),
      m_module(module),
      m_block(nullptr),
      m_unmake(nullptr),
      m_refs(1),
      m_released(false),
      m_detached(false),
      m_lock(nullptr),
      m_dataEvent(nullptr),
      m_session(nullptr),
      m_haveSettingsFile(false),
      m_serverCount(0),
      m_timeouts(DefaultTimeouts()),
      m_isOpen(false),
      m_generation(0),
      m_closeCount(0),
      m_waiting(0),
      m_streaming(false),
      m_server(-1),
      m_liveReaders(0),
      m_signal(0),
      m_signalBusy(false),
      m_signalAsked(false),
      m_signalAskedAt(0),
      m_curSpace(kNoChannel),
      m_curChannel(kNoChannel),
      m_nameServer(0)
{
    static_assert(sizeof(LoadArea) <= kRingSize, "the load's work fits in the ring's storage");
    m_readerEntry.run = RunReader;
    m_readerEntry.context = this;
    m_signalEntry.run = RunSignal;
    m_signalEntry.context = this;
    m_modulePath[0] = L'\0';
    m_settingsPath[0] = L'\0';
    m_cachePath[0] = L'\0';
    m_copy[0] = '\0';
    m_handoff.valid = false;
    m_stats = NetStats();
    m_ring.data = m_ringData;
    m_ring.capacity = kRingSize;
    RingClear(&m_ring);
}

bool NetCore::Construct(void* block, void (*unmake)(void* block))
{
    m_block = block;
    m_unmake = unmake;
    m_dataEvent = m_calls->NewEvent();
    if (m_dataEvent == nullptr)
        return false;
    FindPaths();
    LoadSettings();
    NameTuners();
    m_session = m_calls->HttpSession();
    LoadChannels();
    RingClear(&m_ring);
    return true;
}

void NetCore::Release()
{
    Handoff unclaimed;
    {
        Locked locked(this);
        if (m_released.load())
            return;
        m_released.store(true);
        ++m_closeCount;
        m_isOpen = false;
        EndStreamLocked();
        unclaimed = m_handoff;
        m_handoff.valid = false;
    }
    // A reader that was started but has not begun finds no stream.
    if (unclaimed.valid)
        CloseStream(&unclaimed.stream);
    WriteMissingSettings();
    Unref();
}

void NetCore::Detach(bool processExit)
{
    if (processExit) {
        // Every other thread has been ended wherever it was; a lock one of
        // them held stays held, so none is taken.
        if (!m_released.load())
            WriteMissingSettings();
        return;
    }
    m_detached = true;
    Release();
}

void NetCore::Unref()
{
    if (m_refs.fetch_sub(1) != 1)
        return;
    const NetCalls* calls = m_calls;
    void* block = m_block;
    // WinHTTP is not to be called under the loader lock; at an unload
    // without Release the session goes with the process.
    if (m_session != nullptr && !m_detached)
        calls->HttpClose(m_session);
    if (m_dataEvent != nullptr)
        calls->CloseEvent(m_dataEvent);
    m_unmake(block);
    calls->Free(block);
}

NetCore::Operation::Operation(NetCore* core) : m_core(core), m_refused(false)
{
    m_core->AddRef();
    m_refused = m_core->m_released.load();
}

NetCore::Operation::~Operation()
{
    m_core->Unref();
}

// The side files are named after the DLL: Zendrel-Net.dll has Zendrel-Net.ini
// and Zendrel-Net.channels.cache beside it.
void NetCore::FindPaths()
{
    // Without a whole path of its own, the DLL has no side files.
    OwnPathCalls calls = {m_calls->ModuleFileName, m_calls->LongPathName};
    if (!ReadOwnPath(m_module, m_modulePath, calls))
        return;
    size_t stem = WideLength(m_modulePath);
    for (size_t i = stem; i > 0 && m_modulePath[i - 1] != L'\\'; --i) {
        if (m_modulePath[i - 1] == L'.') {
            stem = i - 1;
            break;
        }
    }
    static const wchar_t* const kSuffixes[] = {L".ini", L".channels.cache"};
    wchar_t* const paths[] = {m_settingsPath, m_cachePath};
    for (int i = 0; i < 2; ++i) {
        WideField field = StartField(paths[i], kPathCapacity);
        for (size_t c = 0; c < stem; ++c) {
            wchar_t unit[2] = {m_modulePath[c], L'\0'};
            AppendText(&field, unit);
        }
        AppendText(&field, kSuffixes[i]);
        if (field.cut)
            paths[i][0] = L'\0';
    }
}

void NetCore::LoadSettings()
{
    const wchar_t* path = m_settingsPath;
    m_haveSettingsFile = path[0] != L'\0' && m_calls->Exists(path);
    m_serverCount = 0;
    for (int i = 0; i < kMaxServers && m_haveSettingsFile; ++i) {
        wchar_t key[8];
        ServerKeyName(i, key);
        wchar_t text[kHostCapacity + 32];
        m_calls->ProfileText(g_serversSection, key, text, sizeof text / sizeof text[0], path);
        ServerAddress* server = &m_servers[m_serverCount];
        if (text[0] == L'\0' || !ParseServerAddress(text, server))
            continue;
        // A server named twice is asked once.
        bool again = false;
        for (int s = 0; s < m_serverCount; ++s)
            again = again || SameText(m_servers[s].key, server->key);
        if (!again)
            ++m_serverCount;
    }
    if (m_serverCount == 0 && ParseServerAddress(g_defaultServer, &m_servers[0]))
        m_serverCount = 1;
    m_timeouts = DefaultTimeouts();
    if (!m_haveSettingsFile)
        return;
    for (const TimeoutKey& key : g_timeoutKeys) {
        uint32_t value = m_calls->ProfileInt(g_timeoutsSection, key.key, static_cast<int32_t>(key.defaultMs), path);
        m_timeouts.*key.field = HoldToRange(key, value);
    }
}

// Like every side file: written whole, and never over a file that exists.
void NetCore::WriteMissingSettings()
{
    if (m_haveSettingsFile || m_settingsPath[0] == L'\0')
        return;
    WholeFile file;
    if (!BeginWholeFile(&file, &m_calls->files, m_settingsPath))
        return;
    WriteWholeFile(&file, reinterpret_cast<const uint8_t*>(g_defaultNetSettingsText), g_defaultNetSettingsSize);
    FinishWholeFile(&file, false);
    m_haveSettingsFile = true;
}

void NetCore::NameTuners()
{
    for (int s = 0; s < m_serverCount; ++s) {
        WideField field = StartField(m_tunerNames[s], kTunerNameCapacity);
        AppendText(&field, L"Zendrel-Net ");
        AppendAscii(&field, m_servers[s].key);
    }
}

bool NetCore::Fetch(int server, const wchar_t* path, uint32_t limitMs, char* dest, uint32_t capacity,
                    uint32_t* length)
{
    *length = 0;
    if (m_session == nullptr)
        return false;
    uint32_t start = m_calls->Milliseconds();
    void* connection = m_calls->HttpConnect(m_session, m_servers[server].host, m_servers[server].port);
    if (connection == nullptr)
        return false;
    uint32_t connectMs = m_timeouts.connectMs < limitMs ? m_timeouts.connectMs : limitMs;
    int32_t status = 0;
    void* request = m_calls->HttpGet(connection, path, connectMs, limitMs, limitMs, &status);
    bool whole = false;
    if (request != nullptr && status == 200) {
        while (m_calls->Milliseconds() - start < limitMs && *length < capacity) {
            int32_t got = m_calls->HttpRead(request, reinterpret_cast<uint8_t*>(dest) + *length, capacity - *length);
            if (got <= 0) {
                whole = got == 0;
                break;
            }
            *length += static_cast<uint32_t>(got);
        }
    }
    if (request != nullptr)
        m_calls->HttpClose(request);
    m_calls->HttpClose(connection);
    return whole;
}

// Each server's list, as it answers now or, when it does not (down, slow,
// an answer that is no list, or one missing a kind it could not read), as
// it answered last time, from the cache. All within ListMs. The cache is
// written anew when an answer changed.
void NetCore::LoadChannels()
{
    LoadArea& area = m_load;
    uint32_t cacheSize = 0;
    void* file = m_cachePath[0] != L'\0' ? m_calls->OpenRead(m_cachePath) : nullptr;
    if (file != nullptr) {
        int32_t got = 0;
        while (cacheSize < sizeof area.cache &&
               (got = m_calls->Read(file, reinterpret_cast<uint8_t*>(area.cache) + cacheSize,
                                    static_cast<int32_t>(sizeof area.cache - cacheSize))) > 0)
            cacheSize += static_cast<uint32_t>(got);
        m_calls->files.Close(file);
        // One that does not fit is not this plug-in's.
        if (cacheSize == sizeof area.cache)
            cacheSize = 0;
    }

    const char* answers[kMaxServers] = {};
    size_t lengths[kMaxServers] = {};
    bool changed = false;
    uint32_t start = m_calls->Milliseconds();
    for (int s = 0; s < m_serverCount; ++s) {
        const char* cached = nullptr;
        size_t cachedLength = 0;
        bool haveCached = FindCachedAnswer(area.cache, cacheSize, m_servers[s].key, &cached, &cachedLength) &&
                          AddServerChannels(nullptr, s, cached, cachedLength, area.tokens, kListTokens) !=
                              ListAnswer::kBad;
        uint32_t elapsed = m_calls->Milliseconds() - start;
        uint32_t length = 0;
        ListAnswer fresh = ListAnswer::kBad;
        if (elapsed < m_timeouts.listMs &&
            Fetch(s, L"/api/channels", m_timeouts.listMs - elapsed, area.answers[s], kAnswerCapacity, &length))
            fresh = AddServerChannels(nullptr, s, area.answers[s], length, area.tokens, kListTokens);
        if (fresh == ListAnswer::kWhole || (fresh == ListAnswer::kPartial && !haveCached)) {
            answers[s] = area.answers[s];
            lengths[s] = length;
            bool same = haveCached && cachedLength == length;
            for (size_t i = 0; same && i < length; ++i)
                same = cached[i] == area.answers[s][i];
            changed = changed || !same;
        } else if (haveCached) {
            answers[s] = cached;
            lengths[s] = cachedLength;
        }
    }

    for (int s = 0; s < m_serverCount; ++s)
        if (answers[s] != nullptr)
            AddServerChannels(&m_channels, s, answers[s], lengths[s], area.tokens, kListTokens);

    WholeFile cache;
    if (changed && m_cachePath[0] != L'\0' && BeginWholeFile(&cache, &m_calls->files, m_cachePath)) {
        WriteCacheHeader(&cache);
        for (int s = 0; s < m_serverCount; ++s)
            if (answers[s] != nullptr)
                WriteCachedAnswer(&cache, m_servers[s].key, answers[s], lengths[s]);
        FinishWholeFile(&cache, true);
    }
}

const wchar_t* NetCore::GetTunerName()
{
    return m_tunerNames[m_nameServer.load()];
}

const wchar_t* NetCore::EnumTuningSpace(uint32_t space)
{
    return space < m_channels.spaceCount ? m_channels.spaces[space].name : nullptr;
}

const wchar_t* NetCore::EnumChannelName(uint32_t space, uint32_t channel)
{
    const NetChannel* found = FindChannel(m_channels, space, channel);
    return found != nullptr ? found->name : nullptr;
}

NetStats NetCore::Stats()
{
    Locked locked(this);
    return m_stats;
}
