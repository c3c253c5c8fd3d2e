// serve's parts without HTTP: the fan-out to clients, the tuner pool with its
// owner threads (against fake copies), the API's requests and JSON, and which
// files of a folder are tuners. The same cases run over HTTP under Wine in
// host/serve/e2e.sh.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include <nlohmann/json.hpp>

#include "host/serve/Address.h"
#include "host/serve/Api.h"
#include "host/serve/Copies.h"
#include "host/serve/Fanout.h"
#include "host/serve/Request.h"
#include "host/serve/TunerPool.h"

namespace {

using std::chrono::milliseconds;

double Seconds()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Packets of 188 bytes: 0x47, then the packet's number in the next four
// bytes, so that a client's bytes can be checked against the tuner's.
std::vector<uint8_t> Packets(uint32_t first, size_t count)
{
    std::vector<uint8_t> bytes(count * 188, 0xFF);
    for (size_t i = 0; i < count; ++i) {
        uint32_t n = first + static_cast<uint32_t>(i);
        uint8_t* p = &bytes[i * 188];
        p[0] = 0x47;
        p[1] = static_cast<uint8_t>(n >> 24);
        p[2] = static_cast<uint8_t>(n >> 16);
        p[3] = static_cast<uint8_t>(n >> 8);
        p[4] = static_cast<uint8_t>(n);
    }
    return bytes;
}

uint32_t PacketNumber(const uint8_t* p)
{
    return (uint32_t(p[1]) << 24) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 8) | p[4];
}

// What every fake copy did, for the tests to look at, and the faults they
// show.
struct Board {
    std::mutex mutex;
    int opens = 0;
    int tunes = 0;
    int closes = 0;
    std::vector<std::string> refused;  // copies whose Open fails
    std::atomic<bool> tuneFails{false};
    std::atomic<bool> silent{false};  // the stream stops
    std::atomic<double> signal{20.5};
    std::atomic<int> boards{1};
    std::atomic<int> reads{0};
    std::atomic<bool> openWaits{false};  // Open waits until it is cleared
};

// A copy that delivers packets in pieces of 10 packets and 50 bytes, so
// that pieces do not start on packet boundaries, nor end where a packet
// ends as far from its start as from its end.
const size_t kPiece = 188 * 10 + 50;
class FakeDevice : public TunerDevice
{
public:
    FakeDevice(const CopyInfo& copy, Board* board) : m_copy(copy), m_board(board) {}
    bool Open(std::string* error) override
    {
        while (m_board->openWaits)
            std::this_thread::sleep_for(milliseconds(1));
        std::lock_guard<std::mutex> lock(m_board->mutex);
        ++m_board->opens;
        if (m_board->boards == 0) {
            *error = "the board library reports no board";
            return false;
        }
        for (const std::string& name : m_board->refused) {
            if (name == m_copy.name) {
                *error = "tuner taken";
                return false;
            }
        }
        return true;
    }
    std::vector<ChannelInfo> Channels() override
    {
        std::vector<ChannelInfo> list;
        for (uint32_t c = 0; c < 3; ++c) {
            ChannelInfo info;
            info.space = 0;
            info.spaceName = "BS";
            info.channel = c;
            info.name = c == 2 ? "Same" : "Ch" + std::to_string(c);
            list.push_back(info);
        }
        return list;
    }
    bool Tune(uint32_t, uint32_t) override
    {
        std::lock_guard<std::mutex> lock(m_board->mutex);
        ++m_board->tunes;
        m_offset = 0;
        return !m_board->tuneFails;
    }
    bool Read(unsigned, const std::function<void(const uint8_t*, size_t)>& sink) override
    {
        std::this_thread::sleep_for(milliseconds(2));
        ++m_board->reads;
        if (m_board->silent)
            return true;
        size_t first = m_offset / 188;
        std::vector<uint8_t> bytes = Packets(static_cast<uint32_t>(first), 12);
        sink(bytes.data() + (m_offset - first * 188), kPiece);
        m_offset += kPiece;
        return true;
    }
    double SignalDb() override { return m_board->signal; }
    int32_t Boards() override { return m_board->boards; }
    void Close() override
    {
        std::lock_guard<std::mutex> lock(m_board->mutex);
        ++m_board->closes;
    }

private:
    CopyInfo m_copy;
    Board* m_board;
    size_t m_offset = 0;
};

std::vector<CopyInfo> Copies(std::vector<std::string> names)
{
    std::vector<CopyInfo> copies;
    for (const std::string& name : names) {
        CopyInfo copy;
        copy.name = name;
        copy.kind = name[name.size() - 5] == 'S' || name[name.size() - 6] == 'S' ? 'S' : 'T';
        copies.push_back(copy);
    }
    return copies;
}

PoolSettings Settings(double idleSeconds)
{
    PoolSettings s;
    s.idleSeconds = idleSeconds;
    s.maxClients = 3;
    s.queueBytes = 1024 * 1024;
    s.now = Seconds;
    s.localTime = [] { return std::string("2024-05-01T21:30:05+09:00"); };
    return s;
}

DeviceFactory Factory(Board* board)
{
    return [board](const CopyInfo& copy) { return std::unique_ptr<TunerDevice>(new FakeDevice(copy, board)); };
}

// Bytes a client takes within the time, or until it has `want`.
std::vector<uint8_t> Receive(Subscriber& queue, size_t want, double seconds = 5)
{
    std::vector<uint8_t> got;
    double until = Seconds() + seconds;
    while (got.size() < want && Seconds() < until) {
        Chunk chunk;
        if (queue.Take(&chunk, milliseconds(50)) == Subscriber::Next::kChunk)
            got.insert(got.end(), chunk.Data(), chunk.Data() + chunk.Size());
    }
    return got;
}

// Whole packets in order, from the first byte on.
bool Consecutive(const std::vector<uint8_t>& bytes)
{
    for (size_t i = 0; i + 188 <= bytes.size(); i += 188) {
        if (bytes[i] != 0x47 || (i > 0 && PacketNumber(&bytes[i]) != PacketNumber(&bytes[i - 188]) + 1))
            return false;
    }
    return bytes.size() >= 188;
}

template <typename Condition>
bool WaitFor(Condition condition, double seconds = 5)
{
    double until = Seconds() + seconds;
    while (!condition()) {
        if (Seconds() > until)
            return false;
        std::this_thread::sleep_for(milliseconds(5));
    }
    return true;
}

// A pool on a clock of the test's own, with its log kept.
struct Clocked {
    std::atomic<double> now{100};
    std::mutex mutex;
    std::string log;

    PoolSettings Settings()
    {
        PoolSettings s = ::Settings(10);
        s.now = [this] { return now.load(); };
        s.log = [this](const std::string& line) {
            std::lock_guard<std::mutex> lock(mutex);
            log += line + "\n";
        };
        return s;
    }
    // Moves the clock on in quarter seconds, each followed by a read of the
    // owner (which reads only when its clock says it is time), until its copy
    // is closed.
    void Advance(Board& board, double seconds)
    {
        int closes = 0;
        {
            std::lock_guard<std::mutex> lock(board.mutex);
            closes = board.closes;
        }
        for (double done = 0; done < seconds; done += 0.25) {
            int reads = board.reads;
            now = now + 0.25;
            WaitFor([&] {
                std::lock_guard<std::mutex> lock(board.mutex);
                return board.reads > reads || board.closes > closes;
            });
        }
    }
    bool Logged(const std::string& text)
    {
        std::lock_guard<std::mutex> lock(mutex);
        return log.find(text) != std::string::npos;
    }
};

// Why the pool's first tuner became unavailable; what it is when it does not.
std::string LostBecause(TunerPool& pool)
{
    if (!WaitFor([&] { return pool.Status().tuners[0].state == "unavailable"; }))
        return "still " + pool.Status().tuners[0].state;
    return pool.Status().tuners[0].error;
}

// Takes what is queued; true when the stream then ended cut off, as a lost
// tuner's clients must see it, not with the proper end.
bool CutOff(Subscriber& queue)
{
    Chunk chunk;
    Subscriber::Next next;
    while ((next = queue.Take(&chunk, milliseconds(1000))) == Subscriber::Next::kChunk) {
    }
    return next == Subscriber::Next::kEnded && queue.Cut();
}

}  // namespace

TEST(Fanout, LateClientsStartOnAPacketAndSlowOnesAreDroppedAlone)
{
    Fanout fanout;
    auto early = std::make_shared<Subscriber>(4 * 188);
    auto slow = std::make_shared<Subscriber>(4 * 188);
    fanout.Add(early);
    std::vector<uint8_t> stream = Packets(0, 8);
    // 100 bytes of packet 0, no packet known to start: the early client has
    // had nothing yet and waits for one.
    EXPECT_EQ(fanout.Publish(stream.data(), 100, Fanout::kNoPacketStart), 0u);
    EXPECT_EQ(early->QueuedBytes(), 0u);
    fanout.Add(slow);
    // The rest of packet 0 and packets 1 and 2: packet 1 starts at 88.
    EXPECT_EQ(fanout.Publish(stream.data() + 100, 3 * 188 - 100, 88), 0u);
    Chunk chunk;
    ASSERT_EQ(early->Take(&chunk, milliseconds(0)), Subscriber::Next::kChunk);
    EXPECT_EQ(chunk.Size(), 2 * 188u);
    EXPECT_EQ(PacketNumber(chunk.Data()), 1u);
    // The early client keeps up, the other never takes: past its 4 packets
    // it is dropped, counted once, and the first goes on.
    size_t dropped = 0;
    for (int i = 0; i < 4; ++i) {
        dropped += fanout.Publish(stream.data(), 188, 0);
        EXPECT_EQ(early->Take(&chunk, milliseconds(0)), Subscriber::Next::kChunk);
    }
    EXPECT_EQ(dropped, 1u);
    EXPECT_TRUE(slow->Dropped());
    EXPECT_EQ(slow->QueuedBytes(), 0u);
    EXPECT_EQ(slow->Take(&chunk, milliseconds(0)), Subscriber::Next::kEnded);
    EXPECT_EQ(fanout.Count(), 1u);
    fanout.EndAll();
    EXPECT_EQ(early->Take(&chunk, milliseconds(0)), Subscriber::Next::kEnded);
}

TEST(TunerPool, ClientsOfOneChannelShareOneTuneAndAnotherChannelFindsNoTuner)
{
    Board board;
    TunerPool pool(Copies({"Zendrel-S.dll"}), Factory(&board), Settings(10));
    JoinResult a = pool.Join('S', 0, 1, "10.0.0.1");
    ASSERT_EQ(a.status, 200) << a.error;
    // The signal is known from the tune on, not only after the first second.
    EXPECT_EQ(pool.Status().tuners[0].signalDb, 20.5);
    JoinResult b = pool.Join('S', 0, 1, "10.0.0.2");
    ASSERT_EQ(b.status, 200) << b.error;
    EXPECT_EQ(board.tunes, 1);
    // Both get whole packets in order from their first byte on.
    std::vector<uint8_t> first = Receive(a.subscription->Queue(), 20 * 188);
    std::vector<uint8_t> second = Receive(b.subscription->Queue(), 20 * 188);
    EXPECT_TRUE(Consecutive(first));
    EXPECT_TRUE(Consecutive(second));

    JoinResult other = pool.Join('S', 0, 0, "10.0.0.3");
    EXPECT_EQ(other.status, 503);
    EXPECT_EQ(pool.Join('T', 0, 0, "x").status, 404) << "no terrestrial copy";
    EXPECT_EQ(pool.Join('S', 0, 7, "x").status, 404) << "no such channel";

    PoolStatus status = pool.Status();
    ASSERT_EQ(status.tuners.size(), 1u);
    EXPECT_EQ(status.tuners[0].state, "streaming");
    EXPECT_EQ(status.tuners[0].clients, 2u);
    EXPECT_EQ(status.tuners[0].channel.name, "Ch1");
    ASSERT_EQ(status.clients.size(), 2u);
    EXPECT_EQ(status.clients[1].address, "10.0.0.2");
    EXPECT_EQ(status.refused, 1u);
}

TEST(TunerPool, TakesTheNextCopyWhenOneDoesNotLoadAndKeepsToTheLimit)
{
    Board board;
    board.refused = {"Zendrel-S0.dll"};
    TunerPool pool(Copies({"Zendrel-S0.dll", "Zendrel-S1.dll", "Zendrel-S2.dll"}), Factory(&board), Settings(10));
    JoinResult a = pool.Join('S', 0, 0, "a");
    ASSERT_EQ(a.status, 200) << a.error;
    JoinResult b = pool.Join('S', 0, 1, "b");
    ASSERT_EQ(b.status, 200) << b.error;
    PoolStatus status = pool.Status();
    EXPECT_EQ(status.tuners[0].state, "unavailable");
    EXPECT_EQ(status.tuners[0].error, "tuner taken");
    EXPECT_EQ(status.tuners[1].channel.channel, 0u);
    EXPECT_EQ(status.tuners[2].channel.channel, 1u);
    JoinResult c = pool.Join('S', 0, 1, "c");
    ASSERT_EQ(c.status, 200);
    JoinResult d = pool.Join('S', 0, 1, "d");
    EXPECT_EQ(d.status, 503) << "three streams at most";
    // A client that leaves frees its place at once.
    c.subscription.reset();
    EXPECT_EQ(pool.Join('S', 0, 1, "d").status, 200);
}

TEST(TunerPool, ReleasesAnUnusedCopyAfterTheIdleTimeAndEverythingAtShutdown)
{
    Board board;
    TunerPool pool(Copies({"Zendrel-S.dll", "Zendrel-T.dll"}), Factory(&board), Settings(0.2));
    JoinResult a = pool.Join('S', 0, 0, "a");
    ASSERT_EQ(a.status, 200);
    std::this_thread::sleep_for(milliseconds(400));
    EXPECT_EQ(board.closes, 0) << "a copy with a client stays";
    a.subscription.reset();
    EXPECT_TRUE(WaitFor([&] { return pool.Status().tuners[0].state == "free"; }));
    EXPECT_EQ(board.closes, 1);

    board.tuneFails = true;
    EXPECT_EQ(pool.Join('S', 0, 0, "a").status, 502);
    board.tuneFails = false;
    JoinResult b = pool.Join('S', 0, 2, "b");
    ASSERT_EQ(b.status, 200) << "a failed tune is tried again";
    JoinResult c = pool.Join('T', 0, 0, "c");
    ASSERT_EQ(c.status, 200);
    pool.Shutdown();
    EXPECT_EQ(board.opens, board.closes);
    Chunk chunk;
    while (b.subscription->Queue().Take(&chunk, milliseconds(0)) == Subscriber::Next::kChunk) {
    }
    EXPECT_EQ(b.subscription->Queue().Take(&chunk, milliseconds(0)), Subscriber::Next::kEnded);
    EXPECT_EQ(pool.Join('S', 0, 2, "d").status, 503);
}

TEST(TunerPool, ALateClientStartsOnThePacketAfterTheRemainderOfARead)
{
    Board board;
    TunerPool pool(Copies({"Zendrel-S.dll"}), Factory(&board), Settings(10));
    JoinResult a = pool.Join('S', 0, 1, "a");
    ASSERT_EQ(a.status, 200) << a.error;
    // Each piece leaves a part of a packet: 50, 100, 150, 12, ... bytes.
    for (int late = 0; late < 3; ++late) {
        int reads = board.reads;
        ASSERT_TRUE(WaitFor([&] { return board.reads > reads + 1; }));
        JoinResult b = pool.Join('S', 0, 1, "b");
        ASSERT_EQ(b.status, 200) << b.error;
        EXPECT_TRUE(Consecutive(Receive(b.subscription->Queue(), 20 * 188))) << "joined after read " << reads;
    }
}

TEST(TunerPool, AtTheLimitNoCopyIsTakenAndJoinersThatWaitedAreCountedAgain)
{
    Board board;
    TunerPool pool(Copies({"Zendrel-S0.dll", "Zendrel-S1.dll", "Zendrel-S2.dll"}), Factory(&board), Settings(10));
    JoinResult a = pool.Join('S', 0, 0, "a");
    JoinResult b = pool.Join('S', 0, 0, "b");
    ASSERT_EQ(b.status, 200) << b.error;
    // One place of three is left, and two joiners of another channel wait
    // together for its copy to load: one of them gets it.
    board.openWaits = true;
    std::vector<JoinResult> waited(2);
    std::vector<std::thread> threads;
    for (size_t i = 0; i < 2; ++i)
        threads.emplace_back([&, i] { waited[i] = pool.Join('S', 0, 1, "w"); });
    ASSERT_TRUE(WaitFor([&] { return pool.Status().tuners[1].state == "loading"; }));
    std::this_thread::sleep_for(milliseconds(100));
    board.openWaits = false;
    for (std::thread& t : threads)
        t.join();
    EXPECT_EQ(waited[0].status + waited[1].status, 200 + 503);
    EXPECT_EQ(pool.Status().clients.size(), 3u);
    // Full: a third channel is refused before any copy is loaded or tuned.
    int opens = board.opens, tunes = board.tunes;
    EXPECT_EQ(pool.Join('S', 0, 2, "c").status, 503);
    EXPECT_EQ(board.opens, opens);
    EXPECT_EQ(board.tunes, tunes);
}

TEST(TunerPool, APauseWithinTheBoundIsAGapAndALongerOneALossThatCutsItsClients)
{
    Board board;
    Clocked clock;
    TunerPool pool(Copies({"Zendrel-S.dll"}), Factory(&board), clock.Settings());
    JoinResult a = pool.Join('S', 0, 1, "a");
    ASSERT_EQ(a.status, 200) << a.error;
    clock.Advance(board, 1);
    // The signal goes for 4 s and comes back: a gap.
    board.silent = true;
    board.signal = 0;
    clock.Advance(board, 4);
    board.silent = false;
    board.signal = 20.5;
    clock.Advance(board, 1);
    EXPECT_EQ(pool.Status().tuners[0].state, "streaming");
    EXPECT_TRUE(clock.Logged("Zendrel-S.dll: the stream of S 0/1 (Ch1) paused for 4.")) << clock.log;
    EXPECT_FALSE(a.subscription->Queue().Cut());

    // It goes for longer than the bound: lost.
    board.silent = true;
    board.signal = 0;
    clock.Advance(board, kLostSeconds + 0.5);
    std::string why = LostBecause(pool);
    EXPECT_NE(why.find("the signal of S 0/1 (Ch1) was lost"), std::string::npos) << why;
    EXPECT_TRUE(CutOff(a.subscription->Queue()));
    EXPECT_EQ(board.closes, 1) << "released";
    EXPECT_TRUE(clock.Logged("Zendrel-S.dll lost: the signal of S 0/1 (Ch1) was lost")) << clock.log;
    // Its next clients are told why, until the channel is tried again.
    JoinResult again = pool.Join('S', 0, 1, "b");
    EXPECT_EQ(again.status, 502);
    EXPECT_NE(again.error.find("was lost"), std::string::npos) << again.error;
    EXPECT_EQ(board.opens, 1);
    board.silent = false;
    board.signal = 20.5;
    clock.now = clock.now + kLostChannelSeconds;
    EXPECT_EQ(pool.Join('S', 0, 1, "b").status, 200);
}

TEST(TunerPool, TellsARemovedBoardAndAChannelWithoutDataApart)
{
    Board board;
    Clocked clock;
    TunerPool pool(Copies({"Zendrel-S.dll"}), Factory(&board), clock.Settings());
    JoinResult a = pool.Join('S', 0, 1, "a");
    JoinResult b = pool.Join('S', 0, 1, "b");
    ASSERT_EQ(b.status, 200) << b.error;
    clock.Advance(board, 1);
    // Removed: the board library counts no board, noticed within two seconds.
    board.silent = true;
    board.boards = 0;
    clock.Advance(board, 2);
    std::string why = LostBecause(pool);
    EXPECT_NE(why.find("reports 0 boards, 1 when the copy was loaded: the board was removed"), std::string::npos)
        << why;
    EXPECT_TRUE(CutOff(a.subscription->Queue()));
    EXPECT_TRUE(CutOff(b.subscription->Queue()));
    // The copy is loaded again for the next client, and says why it cannot.
    JoinResult next = pool.Join('S', 0, 1, "c");
    EXPECT_EQ(next.status, 503);
    EXPECT_NE(next.error.find("Zendrel-S.dll: the board library reports no board"), std::string::npos) << next.error;
    EXPECT_EQ(board.opens, 2);

    // Back, on a channel that carries nothing (a TS ID not on the carrier).
    board.boards = 1;
    board.signal = 0;
    JoinResult empty = pool.Join('S', 0, 2, "d");
    ASSERT_EQ(empty.status, 200) << empty.error;
    clock.Advance(board, kLostSeconds + 0.5);
    why = LostBecause(pool);
    EXPECT_NE(why.find("S 0/2 (Same) carries no data here"), std::string::npos) << why;
    EXPECT_TRUE(CutOff(empty.subscription->Queue()));
}

TEST(TunerPool, JoinersOfOneChannelAtOnceGetOneTuner)
{
    Board board;
    TunerPool pool(Copies({"Zendrel-S0.dll", "Zendrel-S1.dll"}), Factory(&board), Settings(10));
    std::vector<JoinResult> results(3);
    std::vector<std::thread> threads;
    for (size_t i = 0; i < 3; ++i)
        threads.emplace_back([&, i] { results[i] = pool.Join('S', 0, 1, "x"); });
    for (std::thread& t : threads)
        t.join();
    for (size_t i = 0; i < 3; ++i)
        EXPECT_EQ(results[i].status, 200);
    EXPECT_EQ(board.tunes, 1);
    EXPECT_EQ(board.opens, 1);
}

TEST(ServeApi, StreamRequestsAndTheirRefusals)
{
    StreamRequest r;
    std::string error;
    ASSERT_EQ(ParseStreamRequest("/stream/S/0/12", {{"seconds", "5"}}, &r, &error), 0) << error;
    EXPECT_EQ(r.kind, 'S');
    EXPECT_EQ(r.channel, 12u);
    EXPECT_EQ(r.seconds, 5u);
    ASSERT_EQ(ParseStreamRequest("/stream/T", {{"name", "NHK 総合"}, {"space", "1"}}, &r, &error), 0) << error;
    EXPECT_TRUE(r.byName && r.haveSpace);
    EXPECT_EQ(r.name, "NHK 総合");
    // The kind letter in any case or width, as names are matched.
    for (const char* kind : {"/stream/s/0/0", "/stream/ｓ/0/0", "/stream/Ｓ/0/0"}) {
        ASSERT_EQ(ParseStreamRequest(kind, {}, &r, &error), 0) << kind;
        EXPECT_EQ(r.kind, 'S') << kind;
    }

    const struct {
        const char* path;
        QueryParams params;
        int status;
    } bad[] = {
        {"/stream/X/0/0", {}, 404},       {"/stream/ST/0/0", {}, 404},
        {"/stream/S/0", {}, 404},         {"/stream/S/0/0/", {}, 404},
        {"/stream/S/a/0", {}, 400},       {"/stream/S/0/-1", {}, 400},
        {"/stream/S/0/99999999999", {}, 400},
        {"/stream/S/0/0", {{"seconds", "0"}}, 400},
        {"/stream/S/0/0", {{"seconds", "1.5"}}, 400},
        {"/stream/S/0/0", {{"seconds", "1"}, {"seconds", "2"}}, 400},
        {"/stream/S/0/0", {{"name", "x"}}, 400},
        {"/stream/S", {}, 400},           {"/stream/S", {{"name", ""}}, 400},
        {"/stream/S", {{"name", "x"}, {"space", "one"}}, 400},
    };
    for (const auto& b : bad) {
        error.clear();
        EXPECT_EQ(ParseStreamRequest(b.path, b.params, &r, &error), b.status) << b.path;
        EXPECT_FALSE(error.empty()) << b.path;
    }

    std::vector<ChannelInfo> list(3);
    list[0].name = "A";
    list[1].name = "B";
    list[2].name = "B";
    list[2].space = 1;
    ChannelInfo found;
    r.kind = 'S';
    r.name = "B";
    r.haveSpace = false;
    EXPECT_EQ(FindChannelByName(list, r, &found, &error), 400) << "two spaces hold it";
    r.haveSpace = true;
    r.space = 1;
    EXPECT_EQ(FindChannelByName(list, r, &found, &error), 0);
    EXPECT_EQ(found.space, 1u);
    r.name = "C";
    EXPECT_EQ(FindChannelByName(list, r, &found, &error), 404);
    // As record matches names: any case or width, with near misses offered.
    list[0].name = "BS1/TS0";
    r.haveSpace = false;
    r.name = "ｂｓ１/ts0";
    EXPECT_EQ(FindChannelByName(list, r, &found, &error), 0) << error;
    EXPECT_EQ(found.name, "BS1/TS0");
    r.name = "bs1/ts9";
    EXPECT_EQ(FindChannelByName(list, r, &found, &error), 404);
    EXPECT_NE(error.find("did you mean \"BS1/TS0\""), std::string::npos) << error;

    EXPECT_EQ(RouteOf("/"), Route::kPage);
    EXPECT_EQ(RouteOf("/api/status"), Route::kStatus);
    EXPECT_EQ(RouteOf("/api/status/"), Route::kNotFound);
    EXPECT_EQ(RouteOf("/playlist.m3u"), Route::kPlaylist);
    EXPECT_EQ(BaseUrl("192.168.1.5:40080", "0.0.0.0:40080"), "http://192.168.1.5:40080");
    EXPECT_EQ(BaseUrl("x\"><script>", "0.0.0.0:40080"), "http://127.0.0.1:40080");
    EXPECT_EQ(BaseUrl("", "127.0.0.1:5"), "http://127.0.0.1:5");
}

TEST(ServeApi, StatusCarriesTheDocumentedFields)
{
    PoolStatus status;
    TunerStatus t;
    t.copy = "Zendrel-S.dll";
    t.kind = 'S';
    t.state = "streaming";
    t.tuned = true;
    t.channel.name = "\xff broken";  // not UTF-8: replaced, never aborting
    t.channel.channel = 3;
    t.clients = 2;
    t.signalDb = 23.456;
    t.signalHistory = {NAN, 23.4};
    t.mbpsHistory = {NAN, 24};
    status.tuners.push_back(t);
    TunerStatus free;
    free.state = "free";
    status.tuners.push_back(free);
    ClientStatus c;
    c.address = "127.0.0.1";
    c.kind = 'S';
    c.bytes = 1234;
    status.clients.push_back(c);
    ServerInfo info;
    nlohmann::json j = nlohmann::json::parse(StatusJson(status, info, "http://h:1"));
    const nlohmann::json& tuner = j["tuners"][0];
    for (const char* key : {"copy", "kind", "state", "space", "space_name", "channel", "channel_name", "url",
                            "clients", "signal_db", "mbps", "bytes", "continuity_errors", "transport_errors",
                            "scrambled_packets", "since", "error", "history"})
        EXPECT_TRUE(tuner.contains(key)) << key;
    EXPECT_EQ(tuner["url"], "http://h:1/stream/S/0/3");
    EXPECT_EQ(tuner["clients"], 2);
    EXPECT_EQ(tuner["signal_db"], 23.46);
    EXPECT_TRUE(tuner["history"]["signal_db"][0].is_null());
    EXPECT_TRUE(j["tuners"][1]["channel"].is_null());
    for (const char* key : {"address", "kind", "space", "channel", "channel_name", "url", "copy", "bytes",
                            "queued_bytes", "since", "dropped"})
        EXPECT_TRUE(j["clients"][0].contains(key)) << key;
    for (const char* key : {"folder", "listen", "since", "idle_seconds", "max_clients", "clients_served",
                            "dropped_clients", "refused"})
        EXPECT_TRUE(j["server"].contains(key)) << key;
    nlohmann::json busy = nlohmann::json::parse(BusyJson("every satellite tuner is busy", status, "http://h:1"));
    ASSERT_EQ(busy["serving"].size(), 1u);
    EXPECT_EQ(busy["serving"][0]["clients"], 2);
}

TEST(ServeAddress, ListenAndAllow)
{
    uint32_t address = 0;
    uint16_t port = 0;
    EXPECT_TRUE(ParseListen("0.0.0.0:8080", &address, &port));
    EXPECT_EQ(port, 8080);
    for (const char* bad : {"localhost:80", "1.2.3:80", "1.2.3.4", "1.2.3.4:", "1.2.3.4:65536", "256.1.1.1:80",
                            "1.2.3.4:80x", " 1.2.3.4:80"})
        EXPECT_FALSE(ParseListen(bad, &address, &port)) << bad;
    Ipv4Net net;
    for (const char* bad : {"192.168.1.5/24", "10.0.0.0/33", "10.0.0.0/", "10/8", "10.0.0.0/8/8"})
        EXPECT_FALSE(ParseIpv4Net(bad, &net)) << bad;
    std::vector<Ipv4Net> allow(2);
    ASSERT_TRUE(ParseIpv4Net("192.168.1.0/24", &allow[0]));
    ASSERT_TRUE(ParseIpv4Net("127.0.0.1", &allow[1]));
    // This PC, over loopback or its own addresses, whatever the list says.
    LocalNames local;
    local.addresses = {0x0A000005};  // 10.0.0.5
    EXPECT_TRUE(AddressAllowed(allow, 0xC0A8014D, local));   // 192.168.1.77
    EXPECT_TRUE(AddressAllowed(allow, 0x7F000001, local));   // 127.0.0.1
    EXPECT_TRUE(AddressAllowed(allow, 0x7F000002, local));   // 127.0.0.2
    EXPECT_TRUE(AddressAllowed(allow, 0x0A000005, local));   // this PC
    EXPECT_FALSE(AddressAllowed(allow, 0xC0A80201, local));  // 192.168.2.1
    EXPECT_FALSE(AddressAllowed(allow, 0x0A000006, local));
    EXPECT_TRUE(AddressAllowed({}, 0x08080808, local));
    ASSERT_TRUE(ParseIpv4Net("0.0.0.0/0", &allow[0]));
    EXPECT_TRUE(AddressAllowed({allow[0]}, 0x08080808, local));
    std::string why;
    EXPECT_FALSE(ParseIpv4Net("192.168.1.20/24", &net, &why));
    EXPECT_NE(why.find("192.168.1.0/24 is the network"), std::string::npos) << why;
}

TEST(ServeCopies, TheKindLetterMakesATunerAndOneChannelFileAKind)
{
    std::vector<std::string> skipped;
    std::vector<CopyInfo> copies =
        FindCopies(L"C:\\tv", {L"Zendrel-T.dll", L"EarthPtDll.dll", L"Zendrel-S1.dll", L"Zendrel.dll",
                               L"Zendrel-S.DLL", L"Zendrel-S.SetCh.txt", L"Other-S.dll", L"Zendrel-S0.dll"},
                   &skipped);
    std::vector<std::string> names;
    for (const CopyInfo& c : copies)
        names.push_back(std::string(1, c.kind) + " " + c.name);
    EXPECT_EQ(names, (std::vector<std::string>{"S Zendrel-S.DLL", "S Zendrel-S0.dll", "S Zendrel-S1.dll",
                                               "T Zendrel-T.dll"}));
    EXPECT_EQ(copies[0].path, L"C:\\tv\\Zendrel-S.DLL");
    ASSERT_EQ(skipped.size(), 1u);
    EXPECT_NE(skipped[0].find("Other-S.dll"), std::string::npos);
}

TEST(ServeRequest, TargetsAreDecodedAndAParameterGivenTwiceIsRefused)
{
    std::string path, error;
    QueryParams params;
    ASSERT_TRUE(ParseTarget("/stream/%53?name=BS+1%2FTS%30&space=0&", &path, &params, &error)) << error;
    EXPECT_EQ(path, "/stream/S");
    EXPECT_EQ(params, (QueryParams{{"name", "BS 1/TS0"}, {"space", "0"}}));
    for (const char* bad : {"/stream/S?seconds=5&seconds=5", "/stream/S?seconds=5&seconds=6", "/%4", "/%zz",
                            "/a?x=%00", "http://evil.example/api/status", "*", ""}) {
        error.clear();
        EXPECT_FALSE(ParseTarget(bad, &path, &params, &error)) << bad;
        EXPECT_FALSE(error.empty()) << bad;
    }
}

TEST(ServeRequest, OnlyItsOwnNamesAndPagesAreAnswered)
{
    LocalNames local;
    local.addresses = {0xC0A80114};  // 192.168.1.20
    local.names = {"TVPC", "tvpc.home.arpa"};
    const uint32_t any = 0;
    auto accepted = [&](const char* header) {
        std::string host;
        return HostOfHeader(header, &host) && HostAccepted(host, any, local, {"tv.example.net"});
    };
    for (const char* own : {"127.0.0.1:40080", "127.0.0.2", "localhost:40080", "LOCALHOST.", "[::1]:40080",
                            "192.168.1.20:40080", "tvpc", "TVPC.home.arpa:40080", "tvpc.local", "tv.example.net"})
        EXPECT_TRUE(accepted(own)) << own;
    // A name someone else points at this address (DNS rebinding), another
    // address, malformed headers.
    for (const char* foreign : {"evil.example:40080", "192.168.1.21", "tvpc.evil.example", "localhost.evil.example",
                                "127.0.0.1:port", "a b", "[::2]", "x\"><script>"})
        EXPECT_FALSE(accepted(foreign)) << foreign;
    std::string host;
    EXPECT_TRUE(HostOfHeader("10.1.2.3:40080", &host) && HostAccepted(host, 0x0A010203, local, {}))
        << "the address listened on";

    BrowserMarks player;  // players send no marks
    EXPECT_FALSE(FromAnotherPage(player, "127.0.0.1:40080", false));
    BrowserMarks own;
    own.fetchSite = "same-origin";
    own.origin = "http://127.0.0.1:40080";
    EXPECT_FALSE(FromAnotherPage(own, "127.0.0.1:40080", false));
    BrowserMarks typed;
    typed.fetchSite = "none";
    typed.fetchMode = "navigate";
    EXPECT_FALSE(FromAnotherPage(typed, "127.0.0.1:40080", false));
    BrowserMarks cross;
    cross.fetchSite = "cross-site";
    cross.fetchMode = "no-cors";
    EXPECT_TRUE(FromAnotherPage(cross, "127.0.0.1:40080", false));
    EXPECT_TRUE(FromAnotherPage(cross, "127.0.0.1:40080", true));
    cross.fetchMode = "navigate";
    EXPECT_TRUE(FromAnotherPage(cross, "127.0.0.1:40080", false)) << "a link to a stream takes a tuner";
    EXPECT_FALSE(FromAnotherPage(cross, "127.0.0.1:40080", true)) << "a link to the status page only shows it";
    BrowserMarks sameSite;
    sameSite.fetchSite = "same-site";
    EXPECT_TRUE(FromAnotherPage(sameSite, "127.0.0.1:40080", false));
    BrowserMarks origin;
    origin.origin = "http://evil.example";
    EXPECT_TRUE(FromAnotherPage(origin, "127.0.0.1:40080", false));
    origin.origin = "null";
    EXPECT_TRUE(FromAnotherPage(origin, "127.0.0.1:40080", false));
}

TEST(ServeApi, ThePlaylistListsEveryChannelWithItsSpaceAndUrl)
{
    std::vector<ChannelInfo> bs(2), gr(1);
    bs[0].spaceName = "BS";
    bs[0].name = "BS1/TS0";
    bs[1].spaceName = "BS";
    bs[1].channel = 1;
    bs[1].name = "Two\r\n#EXTINF:-1,lines";
    gr[0].spaceName = "地\"デジ";
    gr[0].channel = 13;
    std::string m3u = PlaylistM3u({{'S', bs}, {'T', gr}}, "http://192.168.1.20:40080");
    EXPECT_EQ(m3u,
              "#EXTM3U\n"
              "#EXTINF:-1 group-title=\"BS\",BS1/TS0\nhttp://192.168.1.20:40080/stream/S/0/0\n"
              "#EXTINF:-1 group-title=\"BS\",Two  #EXTINF:-1,lines\nhttp://192.168.1.20:40080/stream/S/0/1\n"
              "#EXTINF:-1 group-title=\"地'デジ\",T/0/13\nhttp://192.168.1.20:40080/stream/T/0/13\n");
}
