// Tuning: asking the servers that list a channel for its stream, the reader
// thread that fills the ring from it, and tuning again when a server cuts it.
#include "net/NetCore.h"
#include "net/Text.h"

const uint32_t g_retunePausesMs[kRetuneRounds] = {0, 1000, 2000, 4000, 8000};

namespace {

const int32_t kStatusOk = 200;
const int32_t kStatusNotFound = 404;
const int32_t kStatusTuneFailed = 502;
const int32_t kStatusBusy = 503;
const uint32_t kLeavePollMs = 5;
const uint32_t kPauseStepMs = 50;

}  // namespace

bool NetCore::Current(uint32_t generation)
{
    Locked locked(this);
    return generation == m_generation;
}

// A pause that ends early, false, once the stream is no longer wanted.
bool NetCore::Pause(uint32_t milliseconds, uint32_t generation)
{
    for (uint32_t waited = 0; waited < milliseconds; waited += kPauseStepMs) {
        m_calls->Sleep(milliseconds - waited < kPauseStepMs ? milliseconds - waited : kPauseStepMs);
        if (!Current(generation))
            return false;
    }
    return Current(generation);
}

void NetCore::EndStreamLocked()
{
    ++m_generation;
    m_streaming = false;
    m_server = -1;
    m_copy[0] = '\0';
    m_signal = 0;
    RingClear(&m_ring);
    WakeWaitersLocked();
}

void NetCore::WakeWaitersLocked()
{
    if (m_waiting > 0)
        m_calls->SetEvent(m_dataEvent);
}

void NetCore::CloseStream(Stream* stream)
{
    if (stream->request != nullptr)
        m_calls->HttpClose(stream->request);
    if (stream->connection != nullptr)
        m_calls->HttpClose(stream->connection);
    stream->request = nullptr;
    stream->connection = nullptr;
}

// /stream/KIND/SPACE/CHANNEL with the server's own numbers. Returns the
// answer's status (0: no answer); on 200 the stream is open.
int32_t NetCore::AskStream(const NetChannel& channel, int server, uint32_t limitMs, Stream* stream)
{
    wchar_t path[48];
    WideField field = StartField(path, sizeof path / sizeof path[0]);
    const wchar_t kind[2] = {static_cast<wchar_t>(channel.kind), L'\0'};
    AppendText(&field, L"/stream/");
    AppendText(&field, kind);
    AppendText(&field, L"/");
    AppendUnsigned(&field, channel.serverSpace[server]);
    AppendText(&field, L"/");
    AppendUnsigned(&field, channel.serverChannel[server]);

    stream->server = server;
    stream->request = nullptr;
    stream->copy[0] = '\0';
    stream->connection = m_session != nullptr
                             ? m_calls->HttpConnect(m_session, m_servers[server].host, m_servers[server].port)
                             : nullptr;
    if (stream->connection == nullptr)
        return 0;
    uint32_t connectMs = m_timeouts.connectMs < limitMs ? m_timeouts.connectMs : limitMs;
    int32_t status = 0;
    stream->request = m_calls->HttpGet(stream->connection, path, connectMs, limitMs, m_timeouts.stallMs, &status);
    if (status != kStatusOk || stream->request == nullptr) {
        CloseStream(stream);
        return status;
    }
    m_calls->HttpHeader(stream->request, L"Zendrel-Tuner", stream->copy, kCopyNameCapacity);
    return status;
}

// The servers that list the channel, in order, each given what is left of
// TuneMs: the first that streams it wins; 404 (the server no longer lists
// it) and 502 (its tuner could not tune it) end the tune; a busy (503) or
// silent server passes it on. A server that was busy because it has not yet
// seen the end of the stream this tune ended (leftServer) is asked again for
// a moment.
NetCore::TuneResult NetCore::Tune(const NetChannel& channel, uint32_t generation, int leftServer, Stream* stream)
{
    uint32_t start = m_calls->Milliseconds();
    for (;;) {
        bool leftBusy = false;
        for (int s = 0; s < m_serverCount; ++s) {
            if ((channel.listedBy & (1u << s)) == 0)
                continue;
            if (!Current(generation))
                return TuneResult::kStale;
            uint32_t elapsed = m_calls->Milliseconds() - start;
            if (elapsed >= m_timeouts.tuneMs)
                return TuneResult::kBusy;
            int32_t status = AskStream(channel, s, m_timeouts.tuneMs - elapsed, stream);
            if (status == kStatusOk)
                return TuneResult::kStreaming;
            if (status == kStatusNotFound || status == kStatusTuneFailed)
                return TuneResult::kRefused;
            leftBusy = leftBusy || (status == kStatusBusy && s == leftServer);
        }
        uint32_t elapsed = m_calls->Milliseconds() - start;
        if (!leftBusy || elapsed + kBusyRetryMs >= kFreedTunerWaitMs || elapsed + kBusyRetryMs >= m_timeouts.tuneMs)
            return TuneResult::kBusy;
        if (!Pause(kBusyRetryMs, generation))
            return TuneResult::kStale;
    }
}

bool NetCore::SetChannel(uint32_t space, uint32_t channel)
{
    Operation operation(this);
    if (operation.Refused())
        return false;
    const NetChannel* found = FindChannel(m_channels, space, channel);
    if (found == nullptr)
        return false;
    uint32_t generation = 0;
    int leftServer = -1;
    {
        Locked locked(this);
        leftServer = m_server;
        EndStreamLocked();
        generation = m_generation;
    }
    // The reader of the stream just ended lets go of its connection within
    // a read, unless its server has stopped sending.
    for (uint32_t waited = 0; waited < kReaderLeaveMs; waited += kLeavePollMs) {
        {
            Locked locked(this);
            if (m_liveReaders == 0)
                break;
        }
        m_calls->Sleep(kLeavePollMs);
    }

    Stream stream;
    if (Tune(*found, generation, leftServer, &stream) != TuneResult::kStreaming)
        return false;
    Handoff unclaimed;
    unclaimed.valid = false;
    bool handed = false;
    {
        Locked locked(this);
        if (generation != m_generation) {
            // Closed, released or tuned elsewhere meanwhile.
            unclaimed.valid = true;
            unclaimed.stream = stream;
        } else {
            unclaimed = m_handoff;
            m_handoff.valid = true;
            m_handoff.generation = generation;
            m_handoff.channel = static_cast<uint32_t>(found - m_channels.channels);
            m_handoff.stream = stream;
            ++m_liveReaders;
            m_streaming = true;
            m_server = stream.server;
            for (size_t i = 0; i < kCopyNameCapacity; ++i)
                m_copy[i] = stream.copy[i];
            handed = true;
        }
    }
    if (unclaimed.valid)
        CloseStream(&unclaimed.stream);
    if (!handed)
        return false;

    AddRef();
    if (!m_calls->StartThread(&m_readerEntry)) {
        Handoff back;
        back.valid = false;
        {
            Locked locked(this);
            --m_liveReaders;
            if (m_handoff.valid && m_handoff.generation == generation) {
                back = m_handoff;
                m_handoff.valid = false;
                EndStreamLocked();
            }
        }
        if (back.valid)
            CloseStream(&back.stream);
        Unref();
        return false;
    }
    m_curSpace.store(space);
    m_curChannel.store(channel);
    m_nameServer.store(stream.server);
    AskSignal();
    return true;
}

void NetCore::RunReader(void* context)
{
    static_cast<NetCore*>(context)->ReadStream();
}

// The reader thread: its own reference to the instance, its own piece
// buffer on its stack, and the stream it was handed.
void NetCore::ReadStream()
{
    Handoff handoff;
    {
        Locked locked(this);
        handoff = m_handoff;
        m_handoff.valid = false;
    }
    if (handoff.valid) {
        const NetChannel& channel = m_channels.channels[handoff.channel];
        Stream stream = handoff.stream;
        uint32_t generation = handoff.generation;
        uint32_t streamBytes = 0;
        uint8_t piece[kReadChunk];
        for (;;) {
            int32_t got = m_calls->HttpRead(stream.request, piece, kReadChunk);
            bool current = false;
            {
                Locked locked(this);
                current = generation == m_generation;
                if (current && got > 0) {
                    m_stats.droppedBytes += RingAdd(&m_ring, piece, static_cast<uint32_t>(got));
                    m_stats.receivedBytes += static_cast<uint32_t>(got);
                    streamBytes += static_cast<uint32_t>(got);
                    WakeWaitersLocked();
                } else if (current) {
                    // Cut: the packet it was in the middle of is no packet.
                    RingDropNewest(&m_ring, streamBytes % kPacketSize);
                    ++m_stats.cuts;
                }
            }
            if (current && got > 0)
                continue;
            CloseStream(&stream);
            if (!current || !Retune(channel, generation, &stream))
                break;
            streamBytes = 0;
        }
    }
    {
        Locked locked(this);
        --m_liveReaders;
    }
    Unref();
}

bool NetCore::Retune(const NetChannel& channel, uint32_t generation, Stream* stream)
{
    for (int round = 0; round < kRetuneRounds; ++round) {
        if (!Pause(g_retunePausesMs[round], generation))
            return false;
        TuneResult result = Tune(channel, generation, -1, stream);
        if (result == TuneResult::kStale)
            return false;
        if (result != TuneResult::kStreaming)
            continue;
        {
            Locked locked(this);
            if (generation == m_generation) {
                m_server = stream->server;
                for (size_t i = 0; i < kCopyNameCapacity; ++i)
                    m_copy[i] = stream->copy[i];
                m_signal = 0;
                ++m_stats.retunes;
                m_nameServer.store(stream->server);
                return true;
            }
        }
        CloseStream(stream);
        return false;
    }
    Locked locked(this);
    // Given up: the stream stays stopped until the host tunes again.
    if (generation == m_generation) {
        m_streaming = false;
        m_server = -1;
    }
    return false;
}
