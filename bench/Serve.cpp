// zendrel-host serve: one tuner at a satellite broadcast rate served over
// loopback to 1, 4 and 16 clients at once. serve's own tuner pool and HTTP
// server run in this process, exactly as the command builds them, with
// clients on threads of their own, so that the time each piece was read from
// the plug-in and the time a client received it come from one clock.
//
// The stand-in's generated stream numbers its null packets (standin/
// TsPackets.h), so a client's bytes are matched to the tuner's by packet
// number: between the first and the last numbered packet a client received,
// its bytes against the tuner's are 1.00 when it lost nothing.
//
// CPU: the process's CPU time over the clients' run, less the clients'
// threads' own, per gigabyte the clients received, against `zendrel-host
// record` writing the same channel to a file for as long, run in this process
// too.
#include <stdio.h>
#include <string.h>

#include <algorithm>

#include <atomic>
#include <mutex>
#include <thread>

#include "bench/Bench.h"
#include "bench/ServeSupport.h"
#include "host/Commands.h"

namespace {

const uint32_t kSatelliteRate = 3000000;  // bytes per second: 24 Mbit/s
const uint32_t kClientSeconds = 10;
const int kClientCounts[] = {1, 4, 16};
const double kGoalCpuRatio = 1.5;
const uint16_t kNullPid = 0x1FFF;
const size_t kPacket = 188;
// One delay sample per this many numbered packets a client receives.
const uint64_t kSampleEvery = 64;

double CpuSeconds(HANDLE process)
{
    FILETIME created, ended, kernel, user;
    if (!GetProcessTimes(process, &created, &ended, &kernel, &user))
        return -1;
    ULARGE_INTEGER k = {{kernel.dwLowDateTime, kernel.dwHighDateTime}};
    ULARGE_INTEGER u = {{user.dwLowDateTime, user.dwHighDateTime}};
    return static_cast<double>(k.QuadPart + u.QuadPart) / 1e7;
}

double ThreadCpuSeconds()
{
    FILETIME created, ended, kernel, user;
    if (!GetThreadTimes(GetCurrentThread(), &created, &ended, &kernel, &user))
        return 0;
    ULARGE_INTEGER k = {{kernel.dwLowDateTime, kernel.dwHighDateTime}};
    ULARGE_INTEGER u = {{user.dwLowDateTime, user.dwHighDateTime}};
    return static_cast<double>(k.QuadPart + u.QuadPart) / 1e7;
}

uint16_t Pid(const uint8_t* p)
{
    return static_cast<uint16_t>((p[1] & 0x1F) << 8 | p[2]);
}

uint64_t Number(const uint8_t* p)
{
    uint64_t k = 0;
    for (int i = 4; i < 12; ++i)
        k = k << 8 | p[i];
    return k;
}

// What the tuner's owner read: the running byte count at the end of each
// piece and when it was read, and where packet 0 would have been.
class ReadLog
{
public:
    void Add(const uint8_t* data, size_t size, double when)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        // The stream starts on a packet after the tune; the first numbered
        // packet places packet 0.
        for (size_t at = 0; !m_placed && at + kPacket <= size; at += kPacket) {
            if (data[at] == 0x47 && Pid(data + at) == kNullPid) {
                m_packetZero = static_cast<int64_t>(m_total + at) - static_cast<int64_t>(Number(data + at) * kPacket);
                m_placed = true;
            }
        }
        m_total += size;
        m_ends.push_back(m_total);
        m_times.push_back(when);
    }
    uint64_t Total()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_total;
    }
    // When the last byte of packet k was read; negative when it was not.
    double ReadTime(uint64_t k)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        int64_t end = m_packetZero + static_cast<int64_t>((k + 1) * kPacket);
        auto it = std::lower_bound(m_ends.begin(), m_ends.end(), static_cast<uint64_t>(end));
        return m_placed && it != m_ends.end() ? m_times[static_cast<size_t>(it - m_ends.begin())] : -1;
    }

private:
    std::mutex m_mutex;
    uint64_t m_total = 0;
    std::vector<uint64_t> m_ends;
    std::vector<double> m_times;
    bool m_placed = false;
    int64_t m_packetZero = 0;
};

struct ClientRun {
    uint64_t bytes = 0;
    bool complete = false;
    double cpuSeconds = 0;
    bool numbered = false;
    uint64_t firstNumber = 0, lastNumber = 0;
    uint64_t firstOffset = 0, lastOffset = 0;
    std::vector<std::pair<uint64_t, double>> samples;  // packet number, received at

    // Bytes received between the first and the last numbered packet, against
    // the tuner's bytes between them.
    double Ratio() const
    {
        return lastNumber > firstNumber ? static_cast<double>(lastOffset - firstOffset) /
                                              static_cast<double>((lastNumber - firstNumber) * kPacket)
                                        : 0;
    }
};

void RunClient(uint16_t port, ClientRun* run)
{
    auto packet = [run](const uint8_t* p, uint64_t start, double when) {
        if (p[0] != 0x47 || Pid(p) != kNullPid)
            return;
        uint64_t k = Number(p);
        if (!run->numbered) {
            run->numbered = true;
            run->firstNumber = k;
            run->firstOffset = start;
        }
        run->lastNumber = k;
        run->lastOffset = start;
        // Slot 4 of each 64: the first numbered packet of the cycle.
        if (k % kSampleEvery == 4)
            run->samples.emplace_back(k, when);
    };
    uint8_t partial[kPacket];
    size_t partialSize = 0;
    std::string path = "/stream/S/0/0?seconds=" + std::to_string(kClientSeconds);
    HttpResult result = HttpGet(port, path, [&](const char* text, size_t size) {
        double when = Seconds();
        // The stream starts on a packet; pieces end anywhere.
        for (size_t pos = 0; pos < size;) {
            size_t n = std::min(kPacket - partialSize, size - pos);
            memcpy(partial + partialSize, text + pos, n);
            partialSize += n;
            pos += n;
            run->bytes += n;
            if (partialSize == kPacket) {
                packet(partial, run->bytes - kPacket, when);
                partialSize = 0;
            }
        }
        return true;
    }, kClientSeconds + 20);
    run->complete = result.complete && result.status == 200;
    run->cpuSeconds = ThreadCpuSeconds();
}

struct ServeRun {
    int clients = 0;
    double minRatio = 0, maxRatio = 0;
    int complete = 0;
    uint64_t dropped = 0;
    uint64_t delivered = 0;
    uint64_t read = 0;
    double serverCpu = 0;
    double clientCpu = 0;
    std::vector<double> delaysMs;
};

bool RunServe(const Folder& folder, int clients, ServeRun* out)
{
    ReadLog reads;
    InProcessServe serve(folder, 64, [&reads](const uint8_t* data, size_t size, double when) {
        reads.Add(data, size, when);
    });
    if (!serve.Start())
        return false;
    uint16_t port = serve.Port();
    // Once it answers, it is serving.
    if (HttpGet(port, "/api/status", [](const char*, size_t) { return true; }).status != 200) {
        printf("  serve does not answer\n");
        return false;
    }

    std::vector<ClientRun> runs(static_cast<size_t>(clients));
    double cpuBefore = CpuSeconds(GetCurrentProcess());
    std::vector<std::thread> threads;
    for (ClientRun& run : runs)
        threads.emplace_back(RunClient, port, &run);
    for (std::thread& t : threads)
        t.join();
    double cpuAfter = CpuSeconds(GetCurrentProcess());
    out->read = reads.Total();
    out->dropped = serve.Pool().Status().droppedClients;
    serve.Stop();

    out->clients = clients;
    double clientCpu = 0;
    out->minRatio = 2;
    for (const ClientRun& run : runs) {
        clientCpu += run.cpuSeconds;
        out->delivered += run.bytes;
        out->complete += run.complete ? 1 : 0;
        out->minRatio = std::min(out->minRatio, run.Ratio());
        out->maxRatio = std::max(out->maxRatio, run.Ratio());
        for (const auto& sample : run.samples) {
            double read = reads.ReadTime(sample.first);
            if (read >= 0)
                out->delaysMs.push_back((sample.second - read) * 1000);
        }
    }
    out->serverCpu = cpuAfter - cpuBefore - clientCpu;
    out->clientCpu = clientCpu;
    return true;
}

// zendrel-host record of space 0 channel 0 for kClientSeconds into a file, run
// in this process with its output sent nowhere: this process's CPU time over
// it, and the bytes it wrote.
bool RecordCpu(const Folder& folder, double* cpu, uint64_t* bytes)
{
    Command command;
    command.kind = CommandKind::kRecord;
    command.driver = folder.Path(L"Zendrel-S.dll");
    command.haveSpace = true;
    command.seconds = kClientSeconds;
    command.out = folder.Path(L"record.ts");
    command.force = true;
    HANDLE nul = CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
    SetStdHandle(STD_OUTPUT_HANDLE, nul);
    SetStdHandle(STD_ERROR_HANDLE, nul);
    double before = CpuSeconds(GetCurrentProcess());
    int status = RunRecord(command);
    *cpu = CpuSeconds(GetCurrentProcess()) - before;
    SetStdHandle(STD_OUTPUT_HANDLE, out);
    SetStdHandle(STD_ERROR_HANDLE, err);
    CloseHandle(nul);
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (status != 0 || !GetFileAttributesExW(command.out.c_str(), GetFileExInfoStandard, &data)) {
        printf("  zendrel-host record failed (status %d)\n", status);
        return false;
    }
    *bytes = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    return true;
}

}  // namespace

bool RunServeBench(const Standin& board)
{
    printf("5. zendrel-host serve\n"
           "   One satellite tuner at %.0f Mbit/s (the stand-in's generated BS channel 0)\n"
           "   served over loopback by serve's pool and HTTP server in this process; each\n"
           "   client reads %u s. CPU: this process less the clients' threads, against\n"
           "   zendrel-host record writing the channel to a file for as long.\n\n",
           kSatelliteRate * 8 / 1e6, kClientSeconds);
    Folder folder;
    if (!LayOutSatellite(board, folder, kSatelliteRate))
        return false;

    double recordCpu = 0;
    uint64_t recordBytes = 0;
    if (!RecordCpu(folder, &recordCpu, &recordBytes))
        return false;
    double recordCpuPerGb = recordCpu / (static_cast<double>(recordBytes) / 1e9);
    printf("record to a file: %.1f MB in %u s, %.2f s CPU: %.2f s CPU per GB\n\n", recordBytes / 1e6,
           kClientSeconds, recordCpu, recordCpuPerGb);

    printf("| clients | bytes received / read (min-max) | complete | dropped | MB delivered | serve CPU s "
           "| clients' CPU s | CPU s per GB | x record | goal <= %.1f | delay median ms | p99 ms |\n",
           kGoalCpuRatio);
    printf("|---|---|---|---|---|---|---|---|---|---|---|---|\n");
    bool ran = true;
    for (int clients : kClientCounts) {
        ServeRun run;
        if (!RunServe(folder, clients, &run)) {
            ran = false;
            continue;
        }
        double perGb = run.serverCpu / (static_cast<double>(run.delivered) / 1e9);
        double ratio = perGb / recordCpuPerGb;
        printf("| %d | %.4f-%.4f | %d | %llu | %.1f | %.2f | %.2f | %.2f | %.2f | %s | %.2f | %.2f |\n", clients,
               run.minRatio, run.maxRatio, run.complete, static_cast<unsigned long long>(run.dropped),
               run.delivered / 1e6, run.serverCpu, run.clientCpu, perGb, ratio,
               ratio <= kGoalCpuRatio ? "met" : "not met", Median(run.delaysMs), Percentile(run.delaysMs, 0.99));
    }
    printf("\n");
    return ran;
}
