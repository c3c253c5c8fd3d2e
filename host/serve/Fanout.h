// One tuner's stream handed out to its clients. The tuner's reader publishes
// each piece it reads once; every client gets it through a queue of its own,
// bounded in bytes, so that the reader never waits for a client: a client
// whose queue would grow past its bound is dropped (its queue emptied, no more
// bytes for it), and the others go on. Pieces are shared, not copied per
// client. A client's first bytes start on a packet boundary.
//
// No Windows header and no sockets here, so that it is tested anywhere.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

// A piece of the stream as one client gets it: bytes from `begin` on.
struct Chunk {
    std::shared_ptr<const std::vector<uint8_t>> bytes;
    size_t begin = 0;

    const uint8_t* Data() const { return bytes->data() + begin; }
    size_t Size() const { return bytes->size() - begin; }
};

// One client's queue. The tuner's reader pushes, the client's connection
// takes; either may be on any thread.
class Subscriber
{
public:
    enum class Next { kChunk, kTimeout, kEnded };

    explicit Subscriber(size_t limitBytes) : m_limit(limitBytes) {}

    // Waits up to timeout for the next piece. kEnded: dropped, or the tuner
    // or the server stopped; nothing more will come.
    Next Take(Chunk* chunk, std::chrono::milliseconds timeout);
    // What the connection has passed on to the client.
    void Sent(size_t bytes) { m_sent += bytes; }
    uint64_t BytesSent() const { return m_sent; }
    size_t QueuedBytes() const;
    bool Dropped() const;
    // Whether the stream is to be cut off rather than ended properly: the
    // client was dropped, or its tuner was lost. A player or recorder then
    // sees a broken transfer, not a finished file.
    bool Cut() const;

    // The reader's side. Push returns false, and drops the client, when the
    // piece would take its queue past the limit (an empty queue takes any).
    bool Push(const Chunk& chunk);
    void End();
    // Ends the stream as lost: what is queued is still taken, then the
    // stream is cut off (Cut).
    void Fail();

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_ready;
    std::deque<Chunk> m_queue;
    size_t m_queued = 0;
    const size_t m_limit;
    bool m_dropped = false;
    bool m_ended = false;
    bool m_failed = false;
    std::atomic<uint64_t> m_sent{0};
};

class Fanout
{
public:
    static constexpr size_t kNoPacketStart = static_cast<size_t>(-1);

    void Add(const std::shared_ptr<Subscriber>& subscriber);
    void Remove(const Subscriber* subscriber);
    // Hands a piece to every client. packetStart is the offset in data where
    // a packet starts, or kNoPacketStart when none is known to: a client that
    // has had nothing yet starts there. Returns how many clients were dropped
    // by this piece; they are no longer counted.
    size_t Publish(const uint8_t* data, size_t size, size_t packetStart);
    // Ends every client's stream and forgets them.
    void EndAll();
    // Ends every client's stream as lost (Subscriber::Fail) and forgets them.
    void FailAll();
    size_t Count() const;

private:
    struct Entry {
        std::shared_ptr<Subscriber> subscriber;
        bool started;
    };
    mutable std::mutex m_mutex;
    std::vector<Entry> m_clients;
};
