// The network plug-in against the tuner plug-in, in one run:
//
// - Time from SetChannel to the first byte: the tuner plug-in on the
//   stand-in, then Zendrel-Net.dll through serve's pool and HTTP server run
//   in this process, on the same satellite channels, alternating two of them.
// - CPU per GB on the same channel at its broadcast rate: what the host's
//   thread and the plug-in's own threads spend, read directly from the tuner
//   plug-in and through the network plug-in. serve's own threads are not
//   counted: on a real network they run on another PC.
// - Bytes received against serve's count: serve stops after the run, every
//   stream gets its proper end, and what the host read since the tune is held
//   against what serve's log says it sent that client.
// - Throughput from a fast local sender (testsupport/ScriptedServer, sending
//   1 MB chunks of packets as fast as loopback takes them), with its CPU per
//   GB, and beside it what WinHTTP alone reads from the same sender in a
//   plain loop (64 KB reads after asking what is there), the ceiling that
//   any plug-in on the system's HTTP client meets here.
// - CloseTuner and Release against a server that stopped sending.
#include <windows.h>
#include <tlhelp32.h>
#include <winhttp.h>

#include <stdio.h>

#include <memory>
#include <mutex>
#include <set>
#include <thread>

#include "bench/Bench.h"
#include "host/Console.h"
#include "host/serve/DriverDevice.h"
#include "host/serve/HttpServer.h"
#include "testsupport/ScriptedServer.h"

namespace {

const uint32_t kSatelliteRate = 3000000;  // bytes per second: 24 Mbit/s
const double kRateSeconds = 10;
const double kFastSeconds = 3;
const int kTunes = 8;
const int kCloses = 100;
const double kGoalMBps = 100;
const double kGoalCpuRatio = 2;
const double kGoalExtraMs = 100;
const double kGoalCloseMs = 50;

double TimeSeconds(const FILETIME& kernel, const FILETIME& user)
{
    ULARGE_INTEGER k = {{kernel.dwLowDateTime, kernel.dwHighDateTime}};
    ULARGE_INTEGER u = {{user.dwLowDateTime, user.dwHighDateTime}};
    return static_cast<double>(k.QuadPart + u.QuadPart) / 1e7;
}

std::set<DWORD> Threads()
{
    std::set<DWORD> ids;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
        if (entry.th32OwnerProcessID == GetCurrentProcessId())
            ids.insert(entry.th32ThreadID);
    CloseHandle(snapshot);
    return ids;
}

double ThreadCpu(DWORD id)
{
    HANDLE thread = id == GetCurrentThreadId() ? GetCurrentThread() : OpenThread(THREAD_QUERY_INFORMATION, FALSE, id);
    FILETIME created, ended, kernel, user;
    double seconds = thread != nullptr && GetThreadTimes(thread, &created, &ended, &kernel, &user)
                         ? TimeSeconds(kernel, user)
                         : 0;
    if (thread != nullptr && id != GetCurrentThreadId())
        CloseHandle(thread);
    return seconds;
}

// The CPU of this thread and of the threads started since it began: the
// host and the plug-in's own.
class HostCpu
{
public:
    HostCpu() : m_before(Threads()), m_start(ThreadCpu(GetCurrentThreadId())) {}
    double Seconds() const
    {
        double total = ThreadCpu(GetCurrentThreadId()) - m_start;
        for (DWORD id : Threads())
            if (m_before.count(id) == 0)
                total += ThreadCpu(id);
        return total;
    }

private:
    std::set<DWORD> m_before;
    double m_start;
};

// Reads whatever comes for seconds, as a host does; the bytes read.
// The stream of 127.0.0.1:port read by WinHTTP alone for `seconds`; its bytes.
uint64_t ReadWithWinHttp(uint16_t port, double seconds)
{
    uint64_t bytes = 0;
    HINTERNET session = WinHttpOpen(L"zendrel-bench", WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                                    WINHTTP_NO_PROXY_BYPASS, 0);
    HINTERNET connection = session ? WinHttpConnect(session, L"127.0.0.1", port, 0) : nullptr;
    HINTERNET request = connection ? WinHttpOpenRequest(connection, L"GET", L"/stream/S/0/0", nullptr,
                                                        WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, 0)
                                   : nullptr;
    if (request != nullptr && WinHttpSendRequest(request, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA,
                                                 0, 0, 0) &&
        WinHttpReceiveResponse(request, nullptr)) {
        static BYTE buffer[65536];
        double start = ::Seconds();
        while (::Seconds() - start < seconds) {
            DWORD available = 0, got = 0;
            if (!WinHttpQueryDataAvailable(request, &available) || available == 0)
                break;
            if (!WinHttpReadData(request, buffer, available < sizeof buffer ? available : sizeof buffer, &got) ||
                got == 0)
                break;
            bytes += got;
        }
    }
    for (HINTERNET handle : {request, connection, session})
        if (handle != nullptr)
            WinHttpCloseHandle(handle);
    return bytes;
}

uint64_t ReadFor(IBonDriver2* driver, double seconds, double* firstByte = nullptr)
{
    static BYTE buffer[1540096];
    uint64_t bytes = 0;
    double start = ::Seconds();
    while (::Seconds() - start < seconds) {
        if (driver->WaitTsStream(100) == 0)
            continue;
        DWORD remain = 1;
        while (remain != 0) {
            DWORD size = sizeof buffer;
            remain = 0;
            if (!driver->GetTsStream(buffer, &size, &remain))
                break;
            if (bytes == 0 && firstByte != nullptr)
                *firstByte = ::Seconds();
            bytes += size;
        }
        if (firstByte != nullptr && bytes != 0)
            return bytes;
    }
    return bytes;
}

// Milliseconds from SetChannel to the first byte, and of SetChannel itself:
// a tune with the tuner free (the host's stream closed half a second before),
// and a change of channel right after it, while the tuner still carries the
// stream just ended.
struct TuneTimes {
    std::vector<double> fresh, change, freshCall, changeCall;
};

bool TimeTune(IBonDriver2* driver, DWORD channel, std::vector<double>* toFirstByte, std::vector<double>* call)
{
    double start = Seconds(), first = 0;
    bool tuned = driver->SetChannel(0, channel);
    call->push_back((Seconds() - start) * 1000);
    if (!tuned || ReadFor(driver, 5, &first) == 0)
        return false;
    toFirstByte->push_back((first - start) * 1000);
    return true;
}

bool TimeTunes(IBonDriver2* driver, TuneTimes* times)
{
    for (int i = 0; i < kTunes; ++i) {
        driver->CloseTuner();
        Sleep(500);
        if (!driver->OpenTuner() || !TimeTune(driver, 0, &times->fresh, &times->freshCall) ||
            !TimeTune(driver, 1, &times->change, &times->changeCall))
            return false;
    }
    return true;
}

struct ServeInProcess {
    std::mutex mutex;
    std::vector<std::string> log;
    std::unique_ptr<TunerPool> pool;
    std::unique_ptr<HttpServer> server;
    uint16_t port = 0;

    bool Start(const Folder& folder)
    {
        PoolSettings settings;
        settings.idleSeconds = 10;
        settings.maxClients = 4;
        settings.now = ::Seconds;
        settings.localTime = [] { return LocalTimeText(); };
        settings.log = [this](const std::string& line) {
            std::lock_guard<std::mutex> lock(mutex);
            log.push_back(line);
        };
        CopyInfo copy;
        copy.path = folder.Path(L"Zendrel-S.dll");
        copy.name = "Zendrel-S.dll";
        copy.kind = 'S';
        pool.reset(new TunerPool({copy}, MakeDriverDevice, settings));
        HttpSettings http;
        http.port = 0;
        server.reset(new HttpServer(*pool, http));
        std::string error;
        if (!server->Bind(&error, &port))
            return false;
        server->Start();
        return true;
    }
    // Every stream gets its proper end; what serve said it sent the last client that left.
    uint64_t Stop()
    {
        pool->Shutdown();
        server->Stop();
        uint64_t sent = 0;
        std::lock_guard<std::mutex> lock(mutex);
        for (const std::string& line : log) {
            size_t after = line.rfind(" after ");
            if (line.find(" left ") != std::string::npos && after != std::string::npos)
                sent = std::stoull(line.substr(after + 7));
        }
        return sent;
    }
};

std::string NetSettings(uint16_t port, const char* timeouts)
{
    return "[Servers]\r\nServer1=127.0.0.1:" + std::to_string(port) + "\r\n[Timeouts]\r\n" + timeouts;
}

const char* Met(bool met)
{
    return met ? "met" : "not met";
}

}  // namespace

bool RunNetBench(const Standin& board)
{
    printf("7. The network plug-in (Zendrel-Net.dll, i686) against the tuner plug-in\n"
           "   The same satellite channels of the stand-in at %.0f Mbit/s, the network plug-in\n"
           "   through serve's pool and HTTP server in this process; CPU is the host's thread and\n"
           "   the plug-in's own threads, not serve's.\n\n",
           kSatelliteRate * 8 / 1e6);
    Folder folder;
    if (folder.AddPlugin(L"Zendrel-S.dll").empty() || !folder.Write(L"Zendrel-ST.ini", kNoAutoMakeSettings) ||
        folder.AddPlugin(L"Zendrel-Net.dll", L"Zendrel-Net.dll").empty()) {
        printf("  could not lay out the folder\n");
        return false;
    }
    board.EptSimReset();
    board.EptSimSetLogging(0);
    board.EptSimSetRate(0, kSatelliteRate);

    // The tuner plug-in read directly.
    Plugin tuner;
    if (!LoadPlugin(folder.Path(L"Zendrel-S.dll"), &tuner) || !tuner.driver->OpenTuner()) {
        printf("  the tuner plug-in did not load\n");
        return false;
    }
    TuneTimes tunerTimes, netTimes;
    bool timed = TimeTunes(tuner.driver, &tunerTimes);
    double tunerCpu = 0;
    uint64_t tunerBytes = 0;
    {
        HostCpu cpu;
        tunerBytes = ReadFor(tuner.driver, kRateSeconds);
        tunerCpu = cpu.Seconds();
    }
    UnloadPlugin(&tuner);

    // The network plug-in through serve.
    ServeInProcess serve;
    Plugin net;
    if (!serve.Start(folder) || !folder.Write(L"Zendrel-Net.ini", NetSettings(serve.port, "StallMs=3000\r\n")) ||
        !LoadPlugin(folder.Path(L"Zendrel-Net.dll"), &net) || !net.driver->OpenTuner()) {
        printf("  the network plug-in did not load against serve\n");
        return false;
    }
    timed = TimeTunes(net.driver, &netTimes) && timed;
    double netCpu = 0;
    uint64_t netBytes = 0, received = 0;
    if (net.driver->SetChannel(0, 0)) {
        HostCpu cpu;
        netBytes = ReadFor(net.driver, kRateSeconds);
        netCpu = cpu.Seconds();
        received = netBytes;
    }
    // serve stops: the stream gets its proper end, and what is left comes in.
    uint64_t sent = 0;
    std::thread stop([&] { sent = serve.Stop(); });
    received += ReadFor(net.driver, 2);
    stop.join();
    UnloadPlugin(&net);

    if (!timed || tunerBytes == 0 || netBytes == 0) {
        printf("  a plug-in delivered nothing\n");
        return false;
    }
    printf("| SetChannel to first byte, ms (%d of each) | median | p90 | SetChannel itself, median | "
           "goal <= tuner + %.0f |\n|---|---|---|---|---|\n",
           kTunes, kGoalExtraMs);
    struct Row {
        const char* what;
        const std::vector<double>& times;
        const std::vector<double>& calls;
        const std::vector<double>* tuner;
    } rows[] = {{"tuner plug-in, tuner free", tunerTimes.fresh, tunerTimes.freshCall, nullptr},
                {"network plug-in, tuner free", netTimes.fresh, netTimes.freshCall, &tunerTimes.fresh},
                {"tuner plug-in, channel change", tunerTimes.change, tunerTimes.changeCall, nullptr},
                {"network plug-in, channel change", netTimes.change, netTimes.changeCall, &tunerTimes.change}};
    for (const Row& row : rows)
        printf("| %s | %.1f | %.1f | %.1f | %s |\n", row.what, Median(row.times), Percentile(row.times, 0.9),
               Median(row.calls),
               row.tuner == nullptr ? "" : Met(Median(row.times) <= Median(*row.tuner) + kGoalExtraMs));
    printf("\n");

    double tunerPerGb = tunerCpu / (tunerBytes / 1e9), netPerGb = netCpu / (netBytes / 1e9);
    printf("| %.0f s of the channel | MB | CPU s | CPU s per GB |\n|---|---|---|---|\n", kRateSeconds);
    printf("| tuner plug-in, read directly | %.1f | %.2f | %.2f |\n", tunerBytes / 1e6, tunerCpu, tunerPerGb);
    printf("| network plug-in | %.1f | %.2f | %.2f |\n", netBytes / 1e6, netCpu, netPerGb);
    printf("network / tuner: %.2f (goal <= %.1f: %s)\n", netPerGb / tunerPerGb, kGoalCpuRatio,
           Met(netPerGb / tunerPerGb <= kGoalCpuRatio));
    printf("bytes received since the tune %llu, serve's count for that client %llu: %s\n\n",
           static_cast<unsigned long long>(received), static_cast<unsigned long long>(sent),
           received == sent ? "equal (goal met)" : "NOT equal");

    // A fast local sender.
    std::string packets;
    for (int p = 0; p < 5577; ++p)  // about 1 MB
        packets += '\x47' + std::string(187, static_cast<char>(p));
    std::string list = "{\"channels\":[{\"kind\":\"S\",\"space\":0,\"space_name\":\"BS\",\"channel\":0,"
                       "\"name\":\"Fast\"}],\"errors\":[]}";
    ScriptedServer fast([&](const std::string& path, int) {
        Reply reply;
        if (path == "/api/channels") {
            reply.body = list;
        } else {
            reply.stream = true;
            reply.chunks = {packets};
            reply.forever = true;
        }
        return reply;
    });
    double fastCpu = 0, fastSeconds = 0;
    uint64_t fastBytes = 0;
    if (!folder.Write(L"Zendrel-Net.ini", NetSettings(fast.Port(), "StallMs=3000\r\n")) ||
        !LoadPlugin(folder.Path(L"Zendrel-Net.dll"), &net) || !net.driver->OpenTuner() ||
        !net.driver->SetChannel(0, 0)) {
        printf("  the network plug-in did not tune the fast sender\n");
        return false;
    }
    {
        HostCpu cpu;
        double start = Seconds();
        fastBytes = ReadFor(net.driver, kFastSeconds);
        fastSeconds = Seconds() - start;
        fastCpu = cpu.Seconds();
    }
    UnloadPlugin(&net);
    double bareMbps = ReadWithWinHttp(fast.Port(), kFastSeconds) / 1e6 / kFastSeconds;
    fast.Stop();
    double mbps = fastBytes / 1e6 / fastSeconds;
    printf("fast local sender: %.0f MB in %.1f s, %.0f MB/s (goal >= %.0f: %s), %.2f CPU s per GB;\n"
           "WinHTTP alone from the same sender: %.0f MB/s (the plug-in: %.2f of it)\n\n",
           fastBytes / 1e6, fastSeconds, mbps, kGoalMBps, Met(mbps >= kGoalMBps), fastCpu / (fastBytes / 1e9),
           bareMbps, mbps / bareMbps);

    // A server that stops sending.
    ScriptedServer stalled([&](const std::string& path, int) {
        Reply reply;
        if (path == "/api/channels") {
            reply.body = list;
        } else {
            reply.stream = true;
            reply.chunks = {packets.substr(0, 188 * 100)};
            reply.end = Reply::kStall;
        }
        return reply;
    });
    std::vector<double> closes, releases;
    folder.Write(L"Zendrel-Net.ini", NetSettings(stalled.Port(), "StallMs=500\r\n"));
    for (int i = 0; i < kCloses; ++i) {
        if (!LoadPlugin(folder.Path(L"Zendrel-Net.dll"), &net))
            break;
        double first = 0;
        if (net.driver->OpenTuner() && net.driver->SetChannel(0, 0) && ReadFor(net.driver, 3, &first) != 0) {
            double start = Seconds();
            net.driver->CloseTuner();
            closes.push_back((Seconds() - start) * 1000);
            net.driver->OpenTuner();
            net.driver->SetChannel(0, 0);
            ReadFor(net.driver, 3, &first);
            start = Seconds();
            net.driver->Release();
            releases.push_back((Seconds() - start) * 1000);
            net.driver = nullptr;
        }
        UnloadPlugin(&net);
    }
    stalled.Stop();
    if (closes.empty()) {
        printf("  the stalled server's stream never came\n");
        return false;
    }
    printf("| against a stalled server, ms (%zu rounds) | median | p99 | max | goal p99 <= %.0f |\n"
           "|---|---|---|---|---|\n",
           closes.size(), kGoalCloseMs);
    printf("| CloseTuner | %.3f | %.3f | %.3f | %s |\n", Median(closes), Percentile(closes, 0.99), Max(closes),
           Met(Percentile(closes, 0.99) <= kGoalCloseMs));
    printf("| Release | %.3f | %.3f | %.3f | %s |\n\n", Median(releases), Percentile(releases, 0.99),
           Max(releases), Met(Percentile(releases, 0.99) <= kGoalCloseMs));
    // The readers left in their reads end at StallMs; the DLL goes with them.
    Sleep(1000);
    return true;
}
