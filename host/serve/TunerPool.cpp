#include "host/serve/TunerPool.h"

#include <math.h>

#include <algorithm>

#include "host/StreamWatch.h"
#include "host/Text.h"
#include "host/analysis/TsAnalyzer.h"

namespace {

// How long the owner waits for stream bytes before it looks at its requests
// again, and how long an untuned owner sleeps.
const unsigned kReadWaitMs = 40;
// The owner reads this often while the stream flows, so that each piece it
// hands out holds about this much of the stream: every piece costs each
// client a wake-up and a send, whatever its size. A client that reads over
// WinHTTP gets each chunk only when the next one begins, so a chunk must
// follow the last within 50 ms.
const double kReadIntervalSeconds = 0.04;
const double kSampleSeconds = 1.0;

int KindIndex(char kind)
{
    return kind == 'S' ? 1 : 0;
}

const char* KindName(char kind)
{
    return kind == 'S' ? "satellite" : "terrestrial";
}

bool SameChannel(const ChannelInfo& a, uint32_t space, uint32_t channel)
{
    return a.space == space && a.channel == channel;
}

std::string ChannelText(char kind, const ChannelInfo& c)
{
    return std::string(1, kind) + " " + std::to_string(c.space) + "/" + std::to_string(c.channel) +
           (c.name.empty() ? "" : " (" + c.name + ")");
}

}  // namespace

// One sample a second of the last kHistorySeconds, in a ring.
struct TunerPool::History {
    std::vector<double> signal = std::vector<double>(kHistorySeconds, NAN);
    std::vector<double> mbps = std::vector<double>(kHistorySeconds, NAN);
    size_t next = 0;
    size_t count = 0;

    void Add(double signalDb, double rate)
    {
        signal[next] = signalDb;
        mbps[next] = rate;
        next = (next + 1) % kHistorySeconds;
        count = std::min(count + 1, kHistorySeconds);
    }
    void Copy(std::vector<double>* signalOut, std::vector<double>* mbpsOut) const
    {
        size_t first = (next + kHistorySeconds - count) % kHistorySeconds;
        for (size_t i = 0; i < count; ++i) {
            signalOut->push_back(signal[(first + i) % kHistorySeconds]);
            mbpsOut->push_back(mbps[(first + i) % kHistorySeconds]);
        }
    }
};

struct TunerPool::Tuner {
    CopyInfo copy;
    State state = State::kFree;
    std::string error;
    std::thread owner;
    Fanout fanout;
    // Joiners waiting for this tuner; while any, it is neither released nor
    // taken for another channel.
    int reservations = 0;
    // The channel it carries or is to carry, and whether the tune succeeded.
    bool hasTarget = false;
    ChannelInfo target;
    bool tuned = false;
    bool tunePending = false;
    // Written by the owner.
    double signalDb = NAN;
    double mbps = 0;
    uint64_t bytes = 0;
    uint64_t continuityErrors = 0;
    uint64_t transportErrors = 0;
    uint64_t scrambledPackets = 0;
    std::string since;
    History history;
};

// Why a copy was lost. A channel's fault (no data, no signal) is kept for
// its next clients; a board's is not: the copy is loaded again when needed.
struct TunerPool::Loss {
    std::string reason;  // empty: none
    bool channelFault = false;
};

struct TunerPool::LostChannel {
    char kind;
    uint32_t space;
    uint32_t channel;
    std::string reason;
    double at;
    std::string time;
};

struct TunerPool::Client {
    std::shared_ptr<Subscriber> queue;
    std::string address;
    size_t tuner = 0;
    ChannelInfo channel;
    std::string since;
};

Subscription::~Subscription()
{
    m_pool->Leave(m_tuner, m_queue.get());
}

TunerPool::TunerPool(std::vector<CopyInfo> copies, DeviceFactory factory, PoolSettings settings)
    : m_factory(std::move(factory)), m_settings(std::move(settings))
{
    for (CopyInfo& copy : copies) {
        m_tuners.push_back(std::unique_ptr<Tuner>(new Tuner));
        m_tuners.back()->copy = std::move(copy);
    }
}

TunerPool::~TunerPool()
{
    Shutdown();
}

bool TunerPool::HasKind(char kind) const
{
    for (const auto& t : m_tuners) {
        if (t->copy.kind == kind)
            return true;
    }
    return false;
}

void TunerPool::Log(const std::string& line) const
{
    if (m_settings.log)
        m_settings.log(line);
}

bool TunerPool::KnownChannels(char kind, std::vector<ChannelInfo>* channels) const
{
    if (!m_listed[KindIndex(kind)])
        return false;
    *channels = m_channels[KindIndex(kind)];
    return true;
}

bool TunerPool::ListedChannels(char kind, std::vector<ChannelInfo>* channels) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return KnownChannels(kind, channels);
}

bool TunerPool::Channels(char kind, std::vector<ChannelInfo>* channels, std::string* error)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    std::vector<Tuner*> tried;
    while (!KnownChannels(kind, channels)) {
        if (m_stopping) {
            *error = "the server is stopping";
            return false;
        }
        // A copy being loaded lists the channels as well.
        Tuner* loading = nullptr;
        for (const auto& t : m_tuners) {
            if (t->copy.kind == kind && t->state == State::kLoading)
                loading = t.get();
        }
        if (loading == nullptr)
            loading = StartCopy(kind, nullptr, &tried);
        if (loading == nullptr) {
            *error = std::string("no ") + KindName(kind) + " copy could be loaded";
            for (Tuner* t : tried)
                *error += "; " + t->copy.name + ": " + t->error;
            return false;
        }
        // No reservation: once listed, the copy is free for any joiner.
        m_changed.wait(lock, [&] { return m_stopping || loading->state != State::kLoading; });
    }
    return true;
}

TunerPool::Tuner* TunerPool::Serving(char kind, uint32_t space, uint32_t channel)
{
    for (const auto& t : m_tuners) {
        if (t->copy.kind != kind || !t->hasTarget || !SameChannel(t->target, space, channel))
            continue;
        if (t->state == State::kLoading || t->state == State::kTuning || (t->state == State::kReady && t->tuned))
            return t.get();
    }
    return nullptr;
}

TunerPool::Tuner* TunerPool::Idle(char kind)
{
    for (const auto& t : m_tuners) {
        if (t->copy.kind == kind && t->state == State::kReady && t->reservations == 0 && t->fanout.Count() == 0)
            return t.get();
    }
    return nullptr;
}

TunerPool::Tuner* TunerPool::StartCopy(char kind, const ChannelInfo* target, std::vector<Tuner*>* tried)
{
    for (size_t i = 0; i < m_tuners.size(); ++i) {
        Tuner* t = m_tuners[i].get();
        if (t->copy.kind != kind || (t->state != State::kFree && t->state != State::kUnavailable) ||
            std::find(tried->begin(), tried->end(), t) != tried->end())
            continue;
        tried->push_back(t);
        // A free tuner's last owner has done all it had to; it only returns.
        if (t->owner.joinable())
            t->owner.join();
        t->state = State::kLoading;
        t->error.clear();
        t->hasTarget = target != nullptr;
        t->target = target ? *target : ChannelInfo();
        t->tuned = false;
        t->tunePending = target != nullptr;
        t->owner = std::thread(&TunerPool::Own, this, i);
        return t;
    }
    return nullptr;
}

size_t TunerPool::ActiveClients() const
{
    size_t count = 0;
    for (const auto& c : m_clients)
        count += c->queue->Dropped() ? 0 : 1;
    return count;
}

JoinResult TunerPool::Join(char kind, uint32_t space, uint32_t channel, const std::string& address)
{
    JoinResult result;
    if (!HasKind(kind)) {
        result.status = 404;
        result.error = std::string("the folder holds no ") + KindName(kind) + " copy";
        return result;
    }
    std::vector<ChannelInfo> channels;
    if (!Channels(kind, &channels, &result.error)) {
        result.status = 503;
        CountRefusal();
        return result;
    }
    auto found = std::find_if(channels.begin(), channels.end(),
                              [&](const ChannelInfo& c) { return SameChannel(c, space, channel); });
    if (found == channels.end()) {
        result.status = 404;
        result.error = "no channel " + std::to_string(channel) + " in space " + std::to_string(space) + " of kind " +
                       std::string(1, kind) + " (see /api/channels)";
        return result;
    }
    result.channel = *found;

    std::unique_lock<std::mutex> lock(m_mutex);
    std::vector<Tuner*> tried;
    for (;;) {
        if (m_stopping) {
            result.error = "the server is stopping";
            return result;
        }
        if (ActiveClients() >= m_settings.maxClients) {
            result.error = "at most " + std::to_string(m_settings.maxClients) + " streams at once";
            ++m_refused;
            return result;
        }
        result.error = LostLately(kind, space, channel);
        if (!result.error.empty()) {
            result.status = 502;
            return result;
        }
        Tuner* t = Serving(kind, space, channel);
        if (t == nullptr) {
            t = Idle(kind);
            if (t != nullptr) {
                t->hasTarget = true;
                t->target = *found;
                t->tuned = false;
                t->tunePending = true;
                t->state = State::kTuning;
                m_changed.notify_all();
            } else {
                t = StartCopy(kind, &*found, &tried);
            }
        }
        if (t == nullptr) {
            // Copies that did not load say why, in the words of check.
            result.error = std::string("every ") + KindName(kind) + " tuner is busy";
            if (!tried.empty())
                result.error = std::string("no ") + KindName(kind) + " tuner is free";
            for (Tuner* failed : tried)
                result.error += "; " + failed->copy.name + ": " + failed->error;
            ++m_refused;
            return result;
        }
        ++t->reservations;
        m_changed.wait(lock, [&] {
            return m_stopping || (t->state != State::kLoading && t->state != State::kTuning);
        });
        --t->reservations;
        m_changed.notify_all();
        if (m_stopping)
            continue;
        bool carries = t->state == State::kReady && t->hasTarget && SameChannel(t->target, space, channel);
        if (carries && !t->tuned) {
            result.status = 502;
            result.error = "tuning " + ChannelText(kind, *found) + " failed on " + t->copy.name;
            return result;
        }
        if (!carries)
            continue;  // its copy did not load: try another
        if (ActiveClients() >= m_settings.maxClients) {
            result.error = "at most " + std::to_string(m_settings.maxClients) + " streams at once";
            ++m_refused;
            return result;
        }
        size_t index = 0;
        while (m_tuners[index].get() != t)
            ++index;
        auto client = std::make_shared<Client>();
        client->queue = std::make_shared<Subscriber>(m_settings.queueBytes);
        client->address = address;
        client->tuner = index;
        client->channel = t->target;
        client->since = m_settings.localTime();
        t->fanout.Add(client->queue);
        m_clients.push_back(client);
        ++m_clientsServed;
        result.status = 200;
        result.channel = t->target;
        result.copy = t->copy.name;
        result.subscription.reset(new Subscription(this, index, client->queue));
        std::string line = address + " joined " + ChannelText(kind, t->target) + " on " + t->copy.name + " (" +
                           std::to_string(t->fanout.Count()) + " client" + (t->fanout.Count() == 1 ? ")" : "s)");
        lock.unlock();
        Log(line);
        return result;
    }
}

void TunerPool::Leave(size_t index, const Subscriber* queue)
{
    std::string line;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        Tuner* t = m_tuners[index].get();
        t->fanout.Remove(queue);
        auto it = std::find_if(m_clients.begin(), m_clients.end(),
                               [queue](const std::shared_ptr<Client>& c) { return c->queue.get() == queue; });
        if (it != m_clients.end()) {
            line = (*it)->address +
                   (queue->Dropped() ? " was dropped from " : queue->Cut() ? " was cut off from " : " left ") +
                   ChannelText(t->copy.kind, (*it)->channel) + " after " + std::to_string(queue->BytesSent()) +
                   " bytes";
            m_clients.erase(it);
        }
        m_changed.notify_all();
    }
    if (!line.empty())
        Log(line);
}

void TunerPool::CountRefusal()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    ++m_refused;
}

void TunerPool::Closing(Tuner* t, bool lost)
{
    t->state = State::kClosing;
    if (lost)
        t->fanout.FailAll();
    else
        t->fanout.EndAll();
    m_changed.notify_all();
}

// What an owner keeps from one round to the next.
struct TunerPool::Reading {
    std::unique_ptr<TsAnalyzer> ts;  // large: counts for every PID
    int32_t boardsAtLoad = -1;
    bool tuned = false;
    ChannelInfo channel;  // the last tune's
    StreamWatch watch{0};  // since the tune
    uint64_t bytes = 0;  // since the tune
    double lastRead = 0;
    double sampleFrom = 0;
    uint64_t sampleBytes = 0;
    size_t dropped = 0;  // clients dropped since the last report
};

bool TunerPool::LoadCopy(Tuner* t, TunerDevice& device, Reading* r)
{
    std::string error;
    bool opened = device.Open(&error);
    std::vector<ChannelInfo> channels;
    if (opened) {
        channels = device.Channels();
        r->boardsAtLoad = device.Boards();
    }
    Log(t->copy.name + (opened ? " loaded" : " did not load: " + error));
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!opened) {
        t->state = State::kUnavailable;
        t->error = error;
        m_changed.notify_all();
        return false;
    }
    m_channels[KindIndex(t->copy.kind)] = channels;
    m_listed[KindIndex(t->copy.kind)] = true;
    t->state = t->tunePending ? State::kTuning : State::kReady;
    t->since = m_settings.localTime();
    t->signalDb = NAN;
    t->mbps = 0;
    t->history = History();
    m_changed.notify_all();
    return true;
}

void TunerPool::TuneCopy(Tuner* t, TunerDevice& device, const ChannelInfo& target, Reading* r)
{
    r->tuned = device.Tune(target.space, target.channel);
    r->channel = target;
    r->watch = StreamWatch(m_settings.now());
    r->ts.reset(new TsAnalyzer);
    r->bytes = 0;
    r->sampleBytes = 0;
    r->sampleFrom = m_settings.now();
    // The level right after the tune, so that a client that asks at once
    // (the network plug-in) need not wait for the first second's sample.
    double signal = r->tuned ? device.SignalDb() : NAN;
    Log(t->copy.name + (r->tuned ? " tuned to " : " failed to tune to ") + ChannelText(t->copy.kind, target));
    std::lock_guard<std::mutex> lock(m_mutex);
    t->tuned = r->tuned;
    t->state = State::kReady;
    t->since = m_settings.localTime();
    t->bytes = 0;
    t->continuityErrors = t->transportErrors = t->scrambledPackets = 0;
    t->signalDb = signal;
    t->mbps = 0;
    m_changed.notify_all();
}

bool TunerPool::ReadCopy(Tuner* t, TunerDevice& device, Reading* r)
{
    r->lastRead = m_settings.now();
    return device.Read(kReadWaitMs, [&](const uint8_t* data, size_t size) {
        if (m_settings.onRead)
            m_settings.onRead(data, size, m_settings.now());
        // Where the first packet starting in this piece is, as long as the
        // packets are where the analyser expects them.
        size_t start = Fanout::kNoPacketStart;
        if (r->ts->Locked()) {
            size_t pending = static_cast<size_t>(r->ts->PendingBytes());
            start = pending == 0 ? 0 : TsAnalyzer::kPacketSize - pending;
        }
        r->ts->Feed(data, size);
        r->dropped += t->fanout.Publish(data, size, start);
        r->bytes += size;
    });
}

TunerPool::Loss TunerPool::Watch(Tuner* t, TunerDevice& device, Reading* r, bool gotData)
{
    double now = m_settings.now();
    std::string channel = ChannelText(t->copy.kind, r->channel);
    Loss loss;
    if (gotData) {
        double gap = r->watch.Data(now);
        if (gap > 0)
            Log(t->copy.name + ": the stream of " + channel + " paused for " + Fixed(gap, 1) + " s");
        return loss;
    }
    r->watch.WaitedInVain();
    if (r->watch.TimeToAskBoard(now)) {
        loss.reason = LostBoards(r->boardsAtLoad, device.Boards(), "when the copy was loaded");
        if (!loss.reason.empty())
            return loss;
    }
    if (r->watch.Quiet(now) < kLostSeconds)
        return loss;
    loss.channelFault = true;
    std::string seconds = Fixed(kLostSeconds, 0);
    double signal = device.SignalDb();
    if (!r->watch.HadData())
        loss.reason = channel + " carries no data here: nothing came in " + seconds +
                      " s since the tune (is its TS ID on this carrier? zendrel-host scan shows what each channel "
                      "carries)";
    else if (!(signal > 0))
        loss.reason = "the signal of " + channel + " was lost: nothing came for " + seconds + " s, with no signal";
    else
        loss.reason = "the stream of " + channel + " stopped: nothing came for " + seconds + " s, with a signal of " +
                      Fixed(signal, 1) + " dB";
    return loss;
}

void TunerPool::Lose(Tuner* t, const Loss& loss, const Reading& r)
{
    if (loss.channelFault)
        m_lostChannels.push_back(
            {t->copy.kind, r.channel.space, r.channel.channel, loss.reason, m_settings.now(), m_settings.localTime()});
    Closing(t, true);
}

std::string TunerPool::LostLately(char kind, uint32_t space, uint32_t channel)
{
    double now = m_settings.now();
    m_lostChannels.erase(std::remove_if(m_lostChannels.begin(), m_lostChannels.end(),
                                        [now](const LostChannel& c) { return now - c.at >= kLostChannelSeconds; }),
                         m_lostChannels.end());
    for (const LostChannel& c : m_lostChannels) {
        if (c.kind == kind && c.space == space && c.channel == channel)
            return c.reason + " (at " + c.time + "; tried again " + Fixed(kLostChannelSeconds, 0) +
                   " s after that)";
    }
    return std::string();
}

void TunerPool::Report(Tuner* t, TunerDevice& device, Reading* r)
{
    double now = m_settings.now();
    bool sample = now - r->sampleFrom >= kSampleSeconds;
    double signal = sample && r->tuned ? device.SignalDb() : NAN;
    std::lock_guard<std::mutex> lock(m_mutex);
    t->bytes = r->bytes;
    t->continuityErrors = r->ts->ContinuityErrors();
    t->transportErrors = r->ts->ErrorPackets();
    t->scrambledPackets = r->ts->ScrambledPackets();
    if (r->dropped != 0) {
        m_droppedClients += r->dropped;
        r->dropped = 0;
        m_changed.notify_all();
    }
    if (sample) {
        t->mbps = r->tuned ? static_cast<double>(r->bytes - r->sampleBytes) * 8 / (now - r->sampleFrom) / 1e6 : 0;
        t->signalDb = signal;
        t->history.Add(signal, r->tuned ? t->mbps : NAN);
        r->sampleFrom = now;
        r->sampleBytes = r->bytes;
    }
}

void TunerPool::Own(size_t index)
{
    Tuner* t = m_tuners[index].get();
    std::unique_ptr<TunerDevice> device = m_factory(t->copy);
    Reading r;
    if (!LoadCopy(t, *device, &r))
        return;
    r.ts.reset(new TsAnalyzer);
    r.sampleFrom = m_settings.now();
    double idleFrom = r.sampleFrom;
    std::string failure;
    for (;;) {
        ChannelInfo target;
        bool tune = false;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            bool idle = !t->tunePending && t->reservations == 0 && t->fanout.Count() == 0;
            // Closing is decided under the lock, so that no joiner takes the
            // tuner in between.
            if (m_stopping || (idle && m_settings.now() - idleFrom >= m_settings.idleSeconds)) {
                Closing(t, false);
                break;
            }
            if (!idle)
                idleFrom = m_settings.now();
            if (t->tunePending) {
                t->tunePending = false;
                target = t->target;
                tune = true;
            } else if (!r.tuned) {
                m_changed.wait_for(lock, std::chrono::milliseconds(kReadWaitMs));
            } else if (r.lastRead + kReadIntervalSeconds > m_settings.now()) {
                // Not yet time to read; woken early by a request, the loop
                // looks at it first.
                m_changed.wait_for(lock, std::chrono::duration<double>(r.lastRead + kReadIntervalSeconds -
                                                                        m_settings.now()));
                continue;
            }
        }
        if (tune) {
            TuneCopy(t, *device, target, &r);
            idleFrom = m_settings.now();
            continue;
        }
        if (r.tuned) {
            uint64_t before = r.bytes;
            Loss loss;
            if (ReadCopy(t, *device, &r))
                loss = Watch(t, *device, &r, r.bytes != before);
            else
                loss.reason = "the plug-in reports that it has no tuner";
            if (!loss.reason.empty()) {
                failure = loss.reason;
                size_t clients = 0;
                {
                    std::lock_guard<std::mutex> lock(m_mutex);
                    clients = t->fanout.Count();
                }
                Log(t->copy.name + " lost: " + failure + "; its " + Counted(clients, "client") + " cut off");
                std::lock_guard<std::mutex> lock(m_mutex);
                Lose(t, loss, r);
                break;
            }
        }
        Report(t, *device, &r);
    }

    device->Close();
    device.reset();
    Log(t->copy.name + " released");
    std::lock_guard<std::mutex> lock(m_mutex);
    t->state = failure.empty() ? State::kFree : State::kUnavailable;
    t->error = failure;
    t->tuned = false;
    t->hasTarget = false;
    t->tunePending = false;
    m_changed.notify_all();
}

PoolStatus TunerPool::Status() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    PoolStatus status;
    for (const auto& t : m_tuners) {
        TunerStatus s;
        s.copy = t->copy.name;
        s.kind = t->copy.kind;
        s.clients = t->fanout.Count();
        switch (t->state) {
        case State::kFree: s.state = "free"; break;
        case State::kLoading: s.state = "loading"; break;
        case State::kTuning: s.state = "tuning"; break;
        case State::kReady: s.state = s.clients > 0 ? "streaming" : "idle"; break;
        case State::kClosing: s.state = "closing"; break;
        case State::kUnavailable: s.state = "unavailable"; break;
        }
        bool loaded = t->state == State::kReady || t->state == State::kTuning || t->state == State::kClosing;
        s.tuned = loaded && t->tuned;
        if (s.tuned)
            s.channel = t->target;
        s.signalDb = t->signalDb;
        s.mbps = s.tuned ? t->mbps : 0;
        s.bytes = t->bytes;
        s.continuityErrors = t->continuityErrors;
        s.transportErrors = t->transportErrors;
        s.scrambledPackets = t->scrambledPackets;
        s.since = loaded ? t->since : std::string();
        s.error = t->error;
        t->history.Copy(&s.signalHistory, &s.mbpsHistory);
        status.tuners.push_back(s);
    }
    for (const auto& c : m_clients) {
        ClientStatus s;
        s.address = c->address;
        s.kind = m_tuners[c->tuner]->copy.kind;
        s.channel = c->channel;
        s.copy = m_tuners[c->tuner]->copy.name;
        s.bytes = c->queue->BytesSent();
        s.queuedBytes = c->queue->QueuedBytes();
        s.since = c->since;
        s.dropped = c->queue->Dropped();
        status.clients.push_back(s);
    }
    status.clientsServed = m_clientsServed;
    status.droppedClients = m_droppedClients;
    status.refused = m_refused;
    return status;
}

void TunerPool::Shutdown()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
        for (const auto& t : m_tuners)
            t->fanout.EndAll();
        m_changed.notify_all();
    }
    // Owners are started only under the lock and never once stopping.
    for (const auto& t : m_tuners) {
        if (t->owner.joinable())
            t->owner.join();
    }
}
