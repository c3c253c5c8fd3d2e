// The network plug-in: everything one loaded copy of Zendrel-Net.dll does for
// its host, as plain C++ that reaches files, time, threads and the servers
// only through the call table of netseam/. netplugin/ hands it to the host
// behind the host's interface; the native tests drive it with a fake.
//
// The host sees a tuner: spaces and channels (the servers' lists, merged),
// a tune, a signal level and the stream. A tune asks the servers that list
// the channel, in the settings' order, for its stream; a reader thread of the
// instance then fills a ring buffer that the host reads as it reads a tuner.
//
// Nothing here waits for a server while the host waits: CloseTuner and
// Release only mark the stream as over and return. A reader thread blocked in
// a read that no server ends (a read cannot be cancelled everywhere) finishes
// on its own later, holding the DLL loaded and the instance's memory alive
// through a reference of its own: the instance is freed by whoever lets go of
// it last, the host's Release or the last thread. A generation number, raised
// by every tune, close and release, tells a thread whether its stream is
// still the host's; one that is not touches nothing the host sees.
//
// All of the instance's state lives in one zero-filled block allocated when
// the host first asks for it; nothing else is allocated while it lives.
#pragma once

#include <stdint.h>

#include <atomic>

#include "net/Channels.h"
#include "net/Json.h"
#include "net/Ring.h"
#include "net/Settings.h"
#include "netseam/NetCalls.h"
#include "sidefiles/ModuleName.h"

// About a second and a half of a 24 Mbit/s broadcast, in whole packets.
const uint32_t kRingSize = 24000 * kPacketSize;
// The pointer form of GetTsStream hands out as much as the tuner plug-in's.
const uint32_t kPointerBufferSize = 1540096;
// The most one read of the stream takes from the server.
const uint32_t kReadChunk = 65536;
// An answer of /api/channels or /api/status, and their tokens.
const uint32_t kAnswerCapacity = 262144;
const unsigned kListTokens = 8192;
const unsigned kStatusTokens = 16384;
const size_t kCopyNameCapacity = 128;
const size_t kTunerNameCapacity = kServerKeyCapacity + 16;
// WaitTsStream's answer for a stopped stream of a tuner that is not open, as
// the tuner plug-in's.
const uint32_t kWaitStreamStopped = 128;
// GetCurSpace and GetCurChannel before the first tune.
const uint32_t kNoChannel = 0xFFFFFFFF;
// How long a tune waits for the reader of the stream it ends to let go of
// its connection, so that the server frees the tuner for the new channel.
const uint32_t kReaderLeaveMs = 200;
// How long a tune keeps asking a server that was busy, when that server
// carried the stream the tune just ended: it may not have seen it end yet.
const uint32_t kFreedTunerWaitMs = 1000;
const uint32_t kBusyRetryMs = 25;
// A stream the server cut is tuned again after these pauses, then given up.
const int kRetuneRounds = 5;
extern const uint32_t g_retunePausesMs[kRetuneRounds];
// The signal level is asked of the server at most this often, and each
// question may take this long.
const uint32_t kSignalEveryMs = 1000;
const uint32_t kSignalLimitMs = 1000;

// What the instance has done with the stream, for tests and benchmarks.
struct NetStats {
    uint64_t receivedBytes;  // from servers, into the ring
    uint64_t droppedBytes;   // dropped from the ring: the host was too slow
    uint32_t cuts;           // streams that ended while still wanted
    uint32_t retunes;        // of those, tuned again
};

class NetCore
{
public:
    NetCore(const NetCalls* calls, void* module);

    // The load, in CreateBonDriver (never under the loader lock): settings,
    // the HTTP session, the channel lists. block is the heap block holding the
    // instance, which unmake unbuilds before it is freed. False when the
    // instance cannot work at all; it is then unbuilt and freed by the caller.
    bool Construct(void* block, void (*unmake)(void* block));
    // The host's Release: every stream ends, the missing settings file is
    // written, and the instance is freed once no thread of its own holds it.
    void Release();
    // The loader's detach notification without a Release. At process exit
    // only the missing settings file is written; when the DLL is unloaded the
    // instance is freed too (no thread of its own can be running then: each
    // holds the DLL loaded), without any WinHTTP call under the loader lock.
    void Detach(bool processExit);

    // The host's operations.
    bool OpenTuner();
    void CloseTuner();
    bool SetChannel(uint32_t space, uint32_t channel);
    float GetSignalLevel();
    uint32_t WaitTsStream(uint32_t timeoutMs);
    uint32_t GetReadyCount();
    bool GetTsStream(uint8_t** dest, uint32_t* size, uint32_t* remain);
    bool GetTsStream(uint8_t* dest, uint32_t* size, uint32_t* remain);
    void PurgeTsStream();
    const wchar_t* GetTunerName();
    const wchar_t* EnumTuningSpace(uint32_t space);
    const wchar_t* EnumChannelName(uint32_t space, uint32_t channel);
    uint32_t GetCurSpace() { return m_curSpace.load(); }
    uint32_t GetCurChannel() { return m_curChannel.load(); }

    NetStats Stats();
    const Timeouts& GetTimeouts() const { return m_timeouts; }

private:
    NetCore(const NetCore&) = delete;
    NetCore& operator=(const NetCore&) = delete;

    class Locked
    {
    public:
        explicit Locked(NetCore* core) : m_core(core) { m_core->m_calls->Lock(&m_core->m_lock); }
        ~Locked() { m_core->m_calls->Unlock(&m_core->m_lock); }
        Locked(const Locked&) = delete;
        Locked& operator=(const Locked&) = delete;

    private:
        NetCore* m_core;
    };

    // A host operation while it runs holds a reference, so that a Release on
    // another thread does not free the instance under it; refused once
    // Release has begun.
    class Operation
    {
    public:
        explicit Operation(NetCore* core);
        ~Operation();
        bool Refused() const { return m_refused; }
        Operation(const Operation&) = delete;
        Operation& operator=(const Operation&) = delete;

    private:
        NetCore* m_core;
        bool m_refused;
    };

    // A server's answer being read.
    struct Stream {
        void* connection;
        void* request;
        int server;
        char copy[kCopyNameCapacity];  // the tuner serving it (Zendrel-Tuner)
    };
    // A stream SetChannel hands to the reader thread it starts.
    struct Handoff {
        bool valid;
        uint32_t generation;
        uint32_t channel;  // into m_channels.channels
        Stream stream;
    };
    enum class TuneResult { kStreaming, kRefused, kBusy, kStale };

    void AddRef() { m_refs.fetch_add(1); }
    // Frees the instance when this was the last reference.
    void Unref();
    void FindPaths();
    void LoadSettings();
    void WriteMissingSettings();
    void LoadChannels();
    void NameTuners();
    // GET path of a server into dest, whole, within limitMs.
    bool Fetch(int server, const wchar_t* path, uint32_t limitMs, char* dest, uint32_t capacity, uint32_t* length);
    void CloseStream(Stream* stream);
    // The stream of channel from the servers that list it, within tuneMs.
    TuneResult Tune(const NetChannel& channel, uint32_t generation, int leftServer, Stream* stream);
    int32_t AskStream(const NetChannel& channel, int server, uint32_t limitMs, Stream* stream);
    bool Current(uint32_t generation);
    bool Pause(uint32_t milliseconds, uint32_t generation);
    // The stream ends for the host; a reader notices by the generation.
    void EndStreamLocked();
    void WakeWaitersLocked();

    static void RunReader(void* context);
    void ReadStream();
    // After a cut: the channel again, from any server that lists it.
    bool Retune(const NetChannel& channel, uint32_t generation, Stream* stream);
    static void RunSignal(void* context);
    void FetchSignal();
    void AskSignal();

    const NetCalls* m_calls;
    void* m_module;
    void* m_block;
    void (*m_unmake)(void* block);
    std::atomic<int32_t> m_refs;
    std::atomic<bool> m_released;
    bool m_detached;
    void* m_lock;  // zero = unlocked; guards what the threads share
    void* m_dataEvent;
    void* m_session;
    ThreadEntry m_readerEntry;
    ThreadEntry m_signalEntry;

    // From the load, not changed afterwards.
    wchar_t m_modulePath[kPathCapacity];
    wchar_t m_settingsPath[kPathCapacity];
    wchar_t m_cachePath[kPathCapacity];
    bool m_haveSettingsFile;
    int m_serverCount;
    ServerAddress m_servers[kMaxServers];
    Timeouts m_timeouts;
    wchar_t m_tunerNames[kMaxServers][kTunerNameCapacity];
    ChannelList m_channels;

    // Under the lock.
    bool m_isOpen;
    uint32_t m_generation;
    uint32_t m_closeCount;
    int32_t m_waiting;  // WaitTsStream calls waiting on m_dataEvent
    bool m_streaming;   // a tune's stream is wanted (read, or being tuned again)
    int m_server;       // the server of that stream; -1 = none
    char m_copy[kCopyNameCapacity];
    Handoff m_handoff;
    int32_t m_liveReaders;
    float m_signal;
    bool m_signalBusy;
    bool m_signalAsked;
    uint32_t m_signalAskedAt;
    NetStats m_stats;
    Ring m_ring;

    std::atomic<uint32_t> m_curSpace;
    std::atomic<uint32_t> m_curChannel;
    std::atomic<int32_t> m_nameServer;

    uint8_t m_pointerBuffer[kPointerBufferSize];
    // Only the one signal thread that may run at a time uses these.
    char m_signalAnswer[kAnswerCapacity];
    jsmntok_t m_signalTokens[kStatusTokens];

    // What the load needs is needed before any stream, so it borrows the
    // ring's storage.
    struct LoadArea {
        char answers[kMaxServers][kAnswerCapacity];
        char cache[kMaxServers * (kAnswerCapacity + kServerKeyCapacity + 16) + 64];
        jsmntok_t tokens[kListTokens];
    };
    union {
        uint8_t m_ringData[kRingSize];
        LoadArea m_load;
    };
};
