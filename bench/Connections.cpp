// zendrel-host serve under hostile connections. serve's pool and HTTP server
// run in this process as the command builds them, with one satellite tuner.
// Measured without and then with 500 idle connections (connected, sending
// nothing) and 200 slow ones (a request line, then a byte every 5 s) held
// open, each connecting again as soon as serve closes it: the latency of
// /api/status and the time to the first byte of a new stream (a channel the
// tuner must be tuned to); before that, the process's memory while 30 clients
// send a request with 2,700 ranges each and read nothing; after it, the rate
// of a connect-and-close loop. Built with exceptions, as Asio needs them.
#include <boost/asio.hpp>

#include <psapi.h>
#include <stdio.h>

#include <atomic>
#include <memory>
#include <thread>

#include "bench/Bench.h"
#include "bench/ServeSupport.h"

namespace net = boost::asio;
using tcp = net::ip::tcp;

namespace {

const uint32_t kSatelliteRate = 3000000;
const int kIdle = 500;
const int kSlow = 200;
const int kStatusRequests = 200;
const auto kStatusEvery = std::chrono::milliseconds(25);
const uint32_t kNewStreams[] = {1, 2, 3};
const double kRateSeconds = 2;
const int kRangeClients = 30;
const int kRanges = 2700;
const double kRangeHoldSeconds = 3;
const double kGoalStatusMax = 1.0;
const double kGoalFirstByte = 2.0;
const double kGoalRate = 500;
const double kGoalMemory = 2.0;

double WorkingSetMb()
{
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters))
        return -1;
    return static_cast<double>(counters.WorkingSetSize) / (1024 * 1024);
}

// Clients that hold connections open and connect again whenever serve
// closes one, all on one thread of their own.
class Hostile
{
public:
    Hostile(uint16_t port, int idle, int slow) : m_endpoint(net::ip::address_v4::loopback(), port)
    {
        for (int i = 0; i < idle + slow; ++i)
            m_clients.push_back(std::make_shared<Client>(m_io, i >= idle));
        for (auto& c : m_clients)
            Connect(c);
        m_thread = std::thread([this] { m_io.run(); });
    }
    ~Hostile()
    {
        m_io.stop();
        m_thread.join();
    }
    int Held() const { return m_held; }
    int Reconnects() const { return m_connects - static_cast<int>(m_clients.size()); }

private:
    struct Client {
        Client(net::io_context& io, bool s) : socket(io), timer(io), slow(s) {}
        tcp::socket socket;
        net::steady_timer timer;
        bool slow;
        bool connected = false;
        char buffer[256];
    };

    void Connect(const std::shared_ptr<Client>& c)
    {
        boost::system::error_code ec;
        c->socket.close(ec);
        c->socket.async_connect(m_endpoint, [this, c](boost::system::error_code ec) {
            if (ec) {
                Later(c);
                return;
            }
            ++m_connects;
            ++m_held;
            c->connected = true;
            Wait(c);
            if (c->slow)
                Send(c, "GET /api/status HTTP/1.1\r\n");
        });
    }
    // Reads until serve closes the connection, then connects again.
    void Wait(const std::shared_ptr<Client>& c)
    {
        c->socket.async_read_some(net::buffer(c->buffer), [this, c](boost::system::error_code ec, size_t) {
            if (!ec) {
                Wait(c);
                return;
            }
            if (c->connected) {
                c->connected = false;
                --m_held;
            }
            c->timer.cancel();
            Connect(c);
        });
    }
    void Send(const std::shared_ptr<Client>& c, const char* text)
    {
        net::async_write(c->socket, net::buffer(text, strlen(text)), [this, c](boost::system::error_code ec, size_t) {
            if (ec)
                return;
            c->timer.expires_after(std::chrono::seconds(5));
            c->timer.async_wait([this, c](boost::system::error_code ec) {
                if (!ec && c->connected)
                    Send(c, "X");
            });
        });
    }
    void Later(const std::shared_ptr<Client>& c)
    {
        c->timer.expires_after(std::chrono::milliseconds(100));
        c->timer.async_wait([this, c](boost::system::error_code ec) {
            if (!ec)
                Connect(c);
        });
    }

    net::io_context m_io{1};
    tcp::endpoint m_endpoint;
    std::vector<std::shared_ptr<Client>> m_clients;
    std::atomic<int> m_held{0};
    std::atomic<int> m_connects{0};
    std::thread m_thread;
};

struct Figures {
    std::vector<double> statusMs;
    int statusFailed = 0;
    std::vector<double> firstByteS;
    int streamsFailed = 0;
};

void Measure(uint16_t port, Figures* f)
{
    auto ignore = [](const char*, size_t) { return true; };
    for (int i = 0; i < kStatusRequests; ++i) {
        double start = Seconds();
        HttpResult r = HttpGet(port, "/api/status", ignore, 10);
        if (r.status == 200 && r.complete)
            f->statusMs.push_back((Seconds() - start) * 1000);
        else
            ++f->statusFailed;
        std::this_thread::sleep_for(kStatusEvery);
    }
    for (uint32_t channel : kNewStreams) {
        double start = Seconds();
        HttpResult r = HttpGet(port, "/stream/S/0/" + std::to_string(channel) + "?seconds=1", ignore, 10);
        if (r.status == 200 && r.firstByte > 0)
            f->firstByteS.push_back(r.firstByte - start);
        else
            ++f->streamsFailed;
    }
}

void PrintRow(const char* what, const Figures& f, const std::string& held)
{
    double statusMax = f.statusMs.empty() ? -1 : Max(f.statusMs) / 1000;
    double firstMax = f.firstByteS.empty() ? -1 : Max(f.firstByteS);
    bool met = f.statusFailed == 0 && f.streamsFailed == 0 && statusMax < kGoalStatusMax && firstMax < kGoalFirstByte;
    printf("| %s | %s | %.2f | %.2f | %.2f | %d | %.3f | %.3f | %d | %s |\n", what, held.c_str(), Median(f.statusMs),
           Percentile(f.statusMs, 0.99), Max(f.statusMs), f.statusFailed, Median(f.firstByteS), firstMax,
           f.streamsFailed, met ? "met" : "not met");
}

// Connections opened and closed again, one after the other, for a while.
double ConnectionRate(uint16_t port)
{
    net::io_context io;
    tcp::endpoint endpoint(net::ip::address_v4::loopback(), port);
    int count = 0;
    double start = Seconds();
    while (Seconds() - start < kRateSeconds) {
        tcp::socket socket(io);
        boost::system::error_code ec;
        socket.connect(endpoint, ec);
        if (!ec)
            ++count;
        socket.close(ec);
    }
    return count / (Seconds() - start);
}

// The peak working set while clients that send a request with many ranges
// and read nothing are connected.
double RangesPeakMb(uint16_t port)
{
    std::string ranges = "0-";
    for (int i = 1; i < kRanges; ++i)
        ranges += ",0-";
    std::string request = "GET / HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) + "\r\nRange: bytes=" + ranges +
                          "\r\n\r\n";
    net::io_context io;
    std::vector<std::unique_ptr<tcp::socket>> clients;
    boost::system::error_code ec;
    for (int i = 0; i < kRangeClients; ++i) {
        clients.emplace_back(new tcp::socket(io));
        clients.back()->connect(tcp::endpoint(net::ip::address_v4::loopback(), port), ec);
        // A small receive buffer: what serve sends stays with serve.
        clients.back()->set_option(net::socket_base::receive_buffer_size(4096), ec);
        net::write(*clients.back(), net::buffer(request), ec);
    }
    double peak = 0;
    for (double start = Seconds(); Seconds() - start < kRangeHoldSeconds;) {
        peak = std::max(peak, WorkingSetMb());
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return peak;
}

}  // namespace

bool RunConnectionsBench(const Standin& board)
{
    printf("6. zendrel-host serve under hostile connections\n"
           "   serve's pool and HTTP server in this process, one satellite tuner. /api/status\n"
           "   %d times, %d ms apart, and %d new streams (each a channel to tune), without and with\n"
           "   %d idle and %d slow-header connections held (connecting again when closed).\n\n",
           kStatusRequests, static_cast<int>(kStatusEvery.count()), static_cast<int>(sizeof kNewStreams / 4), kIdle,
           kSlow);
    Folder folder;
    if (!LayOutSatellite(board, folder, kSatelliteRate))
        return false;
    InProcessServe serve(folder, 16);
    if (!serve.Start())
        return false;
    uint16_t port = serve.Port();
    // The copy loaded and a stream served once: what follows is serving.
    auto ignore = [](const char*, size_t) { return true; };
    if (HttpGet(port, "/stream/S/0/0?seconds=1", ignore).status != 200) {
        printf("  serve does not stream\n");
        return false;
    }
    double idleMb = WorkingSetMb();
    double peakMb = RangesPeakMb(port);
    printf("memory (working set): %.1f MB idle, %.1f MB at most with %d clients sending %d ranges each and reading "
           "nothing: %.2f times (goal <= %.0f: %s)\n\n",
           idleMb, peakMb, kRangeClients, kRanges, peakMb / idleMb, kGoalMemory,
           peakMb <= kGoalMemory * idleMb ? "met" : "not met");

    printf("| connections held | held (reconnects) | status p50 ms | p99 ms | max ms | failed | new stream first "
           "byte median s | max s | failed | goal: max < %.0f s, first byte < %.0f s |\n",
           kGoalStatusMax, kGoalFirstByte);
    printf("|---|---|---|---|---|---|---|---|---|---|\n");
    Figures quiet;
    Measure(port, &quiet);
    PrintRow("none", quiet, "0");
    Figures loaded;
    std::string held;
    {
        Hostile hostile(port, kIdle, kSlow);
        for (double start = Seconds(); hostile.Held() < kIdle + kSlow && Seconds() - start < 10;)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        int before = hostile.Held();
        Measure(port, &loaded);
        held = std::to_string(before) + "-" + std::to_string(hostile.Held()) + " (" +
               std::to_string(hostile.Reconnects()) + ")";
    }
    PrintRow("500 idle + 200 slow", loaded, held);
    printf("\n");

    double rate = ConnectionRate(port);
    printf("connect-and-close loop: %.0f connections a second (goal >= %.0f: %s); working set afterwards: %.1f MB\n\n",
           rate, kGoalRate, rate >= kGoalRate ? "met" : "not met", WorkingSetMb());
    serve.Stop();
    return true;
}
