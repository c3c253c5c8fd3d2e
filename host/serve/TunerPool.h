// The tuners serve shares among its clients: one per copy of the plug-in in
// the folder, each loaded when a client needs a tuner of its kind and released
// when it has had no client for the idle time.
//
// Every tuner has an owner thread, running while its copy is loaded, that
// makes every call into the copy: load, list, tune, read, signal, release.
// Other threads only ask it, through the pool, to tune; so each copy is read
// from one thread and tuned by one owner. The owner reads at the tuner's pace
// whether or not anyone listens, and publishes each piece to the tuner's
// clients (Fanout), whose queues are bounded.
//
// A client of a channel that a tuner already carries (or is being tuned to)
// joins that tuner; one of another channel takes a tuner of the kind that has
// no client, loaded first when none is; when none is free it is refused.
//
// No Windows header and no sockets here: the copies are reached through
// TunerDevice, so that the pool is tested anywhere with a fake.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "host/serve/Fanout.h"

struct ChannelInfo {
    uint32_t space = 0;
    std::string spaceName;
    uint32_t channel = 0;
    std::string name;
};

// A copy of the plug-in in the folder: one tuner.
struct CopyInfo {
    std::wstring path;  // as the loader is given it
    std::string name;   // its file name, UTF-8
    char kind = 'T';    // 'S' satellite, 'T' terrestrial
};

// One copy of the plug-in, as its owner thread uses it; only that thread
// calls it.
class TunerDevice
{
public:
    virtual ~TunerDevice() = default;
    // Loads the copy and opens its tuner; *error says why not.
    virtual bool Open(std::string* error) = 0;
    // Every space and channel the copy lists.
    virtual std::vector<ChannelInfo> Channels() = 0;
    virtual bool Tune(uint32_t space, uint32_t channel) = 0;
    // Waits up to waitMs for stream bytes and hands each piece read to sink.
    // False when the plug-in reports that it has no tuner; a removed board
    // shows only as a stream that stops (see Boards).
    virtual bool Read(unsigned waitMs, const std::function<void(const uint8_t*, size_t)>& sink) = 0;
    virtual double SignalDb() = 0;
    // The boards the board library counts now, -1 when it cannot tell: fewer
    // than at the load, and the board was removed or stopped working.
    virtual int32_t Boards() = 0;
    // Closes the tuner and releases and unloads the copy.
    virtual void Close() = 0;
};

using DeviceFactory = std::function<std::unique_ptr<TunerDevice>(const CopyInfo&)>;

struct PoolSettings {
    double idleSeconds = 10;
    size_t maxClients = 16;
    size_t queueBytes = 4 * 1024 * 1024;  // per client
    // A monotonic clock in seconds, and the local time as ISO 8601 text.
    std::function<double()> now;
    std::function<std::string()> localTime;
    // One line for the console on each event: a tuner loaded, tuned, lost or
    // released, a pause in its stream, a client joined, left, dropped or cut
    // off. May be empty.
    std::function<void(const std::string&)> log;
    // For the benchmark: each piece as it is read, with the clock's time.
    std::function<void(const uint8_t*, size_t, double)> onRead;
};

// The samples of the last minutes kept per tuner, one a second.
const size_t kHistorySeconds = 300;
// A tuned copy that delivers nothing for this long is lost: its clients are
// cut off, it is released and shows as unavailable with the reason. A removed
// board is noticed sooner, within about two seconds, from the board
// library's count; a pause shorter than this is a gap, not a loss.
const double kLostSeconds = 5.0;
// A channel lost for want of data or signal is refused to new clients for
// this long (502, with the reason) rather than tuned again only to fail again.
const double kLostChannelSeconds = 30.0;

struct TunerStatus {
    std::string copy;
    char kind = 'T';
    // "free" (not loaded), "loading", "idle" (loaded, no client), "tuning",
    // "streaming", "closing", "unavailable" (did not load, or was lost;
    // error says why).
    std::string state;
    bool tuned = false;
    ChannelInfo channel;  // valid when tuned
    size_t clients = 0;
    double signalDb = 0;
    double mbps = 0;
    // Since the tune.
    uint64_t bytes = 0;
    uint64_t continuityErrors = 0;
    uint64_t transportErrors = 0;
    uint64_t scrambledPackets = 0;
    std::string since;  // local time of the tune, or of the load when untuned
    std::string error;
    // Oldest first; NaN where the tuner was not tuned.
    std::vector<double> signalHistory;
    std::vector<double> mbpsHistory;
};

struct ClientStatus {
    std::string address;
    char kind = 'T';
    ChannelInfo channel;
    std::string copy;
    uint64_t bytes = 0;
    size_t queuedBytes = 0;
    std::string since;
    bool dropped = false;
};

struct PoolStatus {
    std::vector<TunerStatus> tuners;
    std::vector<ClientStatus> clients;
    uint64_t clientsServed = 0;
    uint64_t droppedClients = 0;
    uint64_t refused = 0;  // 503s for want of a tuner or a place
};

class TunerPool;

// One client's place on a tuner; leaving is destroying it.
class Subscription
{
public:
    ~Subscription();
    Subscription(const Subscription&) = delete;
    Subscription& operator=(const Subscription&) = delete;
    Subscriber& Queue() { return *m_queue; }

private:
    friend class TunerPool;
    Subscription(TunerPool* pool, size_t tuner, std::shared_ptr<Subscriber> queue)
        : m_pool(pool), m_tuner(tuner), m_queue(std::move(queue))
    {
    }
    TunerPool* m_pool;
    size_t m_tuner;
    std::shared_ptr<Subscriber> m_queue;
};

struct JoinResult {
    // 200 joined; 404 no such kind or channel; 502 the tune failed, or the
    // channel was lost lately; 503 no tuner free, no copy loads, no place
    // left, or stopping.
    int status = 503;
    std::string error;
    std::unique_ptr<Subscription> subscription;
    ChannelInfo channel;
    // The file name of the copy whose tuner carries the stream.
    std::string copy;
};

class TunerPool
{
public:
    TunerPool(std::vector<CopyInfo> copies, DeviceFactory factory, PoolSettings settings);
    ~TunerPool();
    TunerPool(const TunerPool&) = delete;
    TunerPool& operator=(const TunerPool&) = delete;

    // Whether the folder holds a copy of the kind.
    bool HasKind(char kind) const;
    // The channels of a kind, as the copies list them. Loads a copy when no
    // copy of the kind has been loaded yet; false with *error when none loads.
    bool Channels(char kind, std::vector<ChannelInfo>* channels, std::string* error);
    // The channels of a kind when a copy of it has listed them; false, and
    // nothing loaded, when none has yet.
    bool ListedChannels(char kind, std::vector<ChannelInfo>* channels) const;
    JoinResult Join(char kind, uint32_t space, uint32_t channel, const std::string& address);
    PoolStatus Status() const;
    void CountRefusal();
    // Ends every stream and releases every copy; joins no more.
    void Shutdown();

private:
    enum class State { kFree, kLoading, kTuning, kReady, kClosing, kUnavailable };
    struct History;
    struct Tuner;
    struct Client;
    friend class Subscription;

    struct Reading;
    struct Loss;
    struct LostChannel;
    // The owner thread of tuner `index`, and its steps.
    void Own(size_t index);
    bool LoadCopy(Tuner* t, TunerDevice& device, Reading* r);
    void TuneCopy(Tuner* t, TunerDevice& device, const ChannelInfo& target, Reading* r);
    // False when the tuner is gone.
    bool ReadCopy(Tuner* t, TunerDevice& device, Reading* r);
    // What the read just made says of the stream: a loss, or none while it
    // flows or pauses within the bounds.
    Loss Watch(Tuner* t, TunerDevice& device, Reading* r, bool gotData);
    // With the lock held: the copy is lost; its clients are cut off.
    void Lose(Tuner* t, const Loss& loss, const Reading& r);
    // The counts, and once a second the signal, bit rate and history.
    void Report(Tuner* t, TunerDevice& device, Reading* r);
    // With the lock held: the owner is about to release the copy. Its
    // clients' streams get their proper end, or are cut off when it was lost.
    void Closing(Tuner* t, bool lost);
    // With the lock held: the tuner carrying (or about to carry) the channel.
    Tuner* Serving(char kind, uint32_t space, uint32_t channel);
    Tuner* Idle(char kind);
    // Starts loading a copy of the kind not tried yet, to be tuned to *target
    // when given; null when none is left.
    Tuner* StartCopy(char kind, const ChannelInfo* target, std::vector<Tuner*>* tried);
    // With the lock held: why the channel was lost lately; empty when it was not.
    std::string LostLately(char kind, uint32_t space, uint32_t channel);
    bool KnownChannels(char kind, std::vector<ChannelInfo>* channels) const;
    size_t ActiveClients() const;
    void Leave(size_t tuner, const Subscriber* queue);
    void Log(const std::string& line) const;

    const DeviceFactory m_factory;
    const PoolSettings m_settings;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::unique_ptr<Tuner>> m_tuners;
    std::vector<std::shared_ptr<Client>> m_clients;
    // The channel lists by kind, from the last copy of each kind loaded.
    std::vector<ChannelInfo> m_channels[2];
    bool m_listed[2] = {false, false};
    std::vector<LostChannel> m_lostChannels;
    bool m_stopping = false;
    uint64_t m_clientsServed = 0;
    uint64_t m_droppedClients = 0;
    uint64_t m_refused = 0;
};
