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

// What every fake copy did, for the tests to look at.
struct Board {
    std::mutex mutex;
    int opens = 0;
    int tunes = 0;
    int closes = 0;
    std::vector<std::string> refused;  // copies whose Open fails
    std::atomic<bool> tuneFails{false};
};

// A copy that delivers packets in pieces of 10.5 packets, so that pieces do
// not start on packet boundaries.
const size_t kPiece = 188 * 10 + 94;
class FakeDevice : public TunerDevice
{
public:
    FakeDevice(const CopyInfo& copy, Board* board) : m_copy(copy), m_board(board) {}
    bool Open(std::string* error) override
    {
        std::lock_guard<std::mutex> lock(m_board->mutex);
        ++m_board->opens;
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
        size_t first = m_offset / 188;
        std::vector<uint8_t> bytes = Packets(static_cast<uint32_t>(first), 12);
        sink(bytes.data() + (m_offset - first * 188), kPiece);
        m_offset += kPiece;
        return true;
    }
    double SignalDb() override { return 20.5; }
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

    const struct {
        const char* path;
        QueryParams params;
        int status;
    } bad[] = {
        {"/stream/X/0/0", {}, 404},       {"/stream/s/0/0", {}, 404},
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

    EXPECT_EQ(RouteOf("/"), Route::kPage);
    EXPECT_EQ(RouteOf("/api/status"), Route::kStatus);
    EXPECT_EQ(RouteOf("/api/status/"), Route::kNotFound);
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
    EXPECT_TRUE(AddressAllowed(allow, "192.168.1.77"));
    EXPECT_TRUE(AddressAllowed(allow, "127.0.0.1"));
    EXPECT_FALSE(AddressAllowed(allow, "127.0.0.2"));
    EXPECT_FALSE(AddressAllowed(allow, "192.168.2.1"));
    EXPECT_FALSE(AddressAllowed(allow, "::1"));
    EXPECT_TRUE(AddressAllowed({}, "::1"));
    ASSERT_TRUE(ParseIpv4Net("0.0.0.0/0", &allow[0]));
    EXPECT_TRUE(AddressAllowed({allow[0]}, "8.8.8.8"));
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
