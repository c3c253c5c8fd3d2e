#include "host/serve/Fanout.h"

#include <algorithm>

Subscriber::Next Subscriber::Take(Chunk* chunk, std::chrono::milliseconds timeout)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_ready.wait_for(lock, timeout, [this] { return !m_queue.empty() || m_ended || m_dropped; });
    if (m_dropped || (m_queue.empty() && m_ended))
        return Next::kEnded;
    if (m_queue.empty())
        return Next::kTimeout;
    *chunk = std::move(m_queue.front());
    m_queue.pop_front();
    m_queued -= chunk->Size();
    return Next::kChunk;
}

size_t Subscriber::QueuedBytes() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_queued;
}

bool Subscriber::Dropped() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_dropped;
}

bool Subscriber::Cut() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_dropped || m_failed;
}

bool Subscriber::Push(const Chunk& chunk)
{
    bool kept = true;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_dropped || m_ended)
            return !m_dropped;
        // A queue that is empty takes any piece, however large.
        kept = m_queued == 0 || m_queued + chunk.Size() <= m_limit;
        if (kept) {
            m_queue.push_back(chunk);
            m_queued += chunk.Size();
        } else {
            m_dropped = true;
            m_queue.clear();
            m_queued = 0;
        }
    }
    m_ready.notify_all();
    return kept;
}

void Subscriber::End()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_ended = true;
    }
    m_ready.notify_all();
}

void Fanout::Add(const std::shared_ptr<Subscriber>& subscriber)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_clients.push_back(Entry{subscriber, false});
}

void Fanout::Remove(const Subscriber* subscriber)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_clients.erase(std::remove_if(m_clients.begin(), m_clients.end(),
                                   [subscriber](const Entry& e) { return e.subscriber.get() == subscriber; }),
                    m_clients.end());
}

size_t Fanout::Publish(const uint8_t* data, size_t size, size_t packetStart)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    bool anyStarts = packetStart < size;
    bool anyTakes = false;
    for (const Entry& e : m_clients)
        anyTakes = anyTakes || e.started || anyStarts;
    if (!anyTakes || size == 0)
        return 0;
    // One copy of the piece, shared by every queue.
    auto bytes = std::make_shared<const std::vector<uint8_t>>(data, data + size);
    size_t dropped = 0;
    for (auto it = m_clients.begin(); it != m_clients.end();) {
        if (!it->started && !anyStarts) {
            ++it;
            continue;
        }
        Chunk chunk;
        chunk.bytes = bytes;
        chunk.begin = it->started ? 0 : packetStart;
        it->started = true;
        if (it->subscriber->Push(chunk)) {
            ++it;
        } else {
            ++dropped;
            it = m_clients.erase(it);
        }
    }
    return dropped;
}

void Subscriber::Fail()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_failed = true;
        m_ended = true;
    }
    m_ready.notify_all();
}

void Fanout::EndAll()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    for (const Entry& e : m_clients)
        e.subscriber->End();
    m_clients.clear();
}

void Fanout::FailAll()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    for (const Entry& e : m_clients)
        e.subscriber->Fail();
    m_clients.clear();
}

size_t Fanout::Count() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_clients.size();
}
