// Stream throughput: bytes per second through the plug-in's two GetTsStream
// forms against PtDllGetStreamData called directly on the same tuner with a
// destination of the same size. The stand-in runs always ready, so every read
// fills its whole capacity and the figures measure the calls and copies, not
// a broadcast rate. Both paths touch one byte of what they receive, so that
// neither skips work the other does.
#include "bench/Bench.h"

#include <stdio.h>

namespace {

const int kRounds = 5;
const double kRunSeconds = 0.5;     // per path and run
const double kSliceSeconds = 0.02;  // the paths take turns this long
const double kGoalRatio = 0.95;
const DWORD kPluginBufferBytes = 1540096;  // the pointer form's instance buffer

volatile BYTE g_sink;

struct Case {
    const char* form;
    bool pointer;
    DWORD bytes;  // destination size of both paths
};

const Case kCases[] = {
    {"copying", false, 188 * 64},
    {"copying", false, 188 * 1024},
    {"copying", false, kPluginBufferBytes},
    {"pointer", true, kPluginBufferBytes},
};

struct Meter {
    uint64_t bytes;
    double seconds;
    bool empty;  // a read yielded nothing
    double Rate() const { return seconds > 0 ? static_cast<double>(bytes) / seconds : 0; }
};

// Reads for about kSliceSeconds into the meter.
template <typename Read>
void Slice(Read read, Meter* meter)
{
    double start = Seconds();
    double elapsed = 0;
    do {
        DWORD got = read();
        meter->empty = meter->empty || got == 0;
        meter->bytes += got;
        elapsed = Seconds() - start;
    } while (elapsed < kSliceSeconds);
    meter->seconds += elapsed;
}

// One run: the two paths take turns in short slices, so that both see the
// same load on the machine, until each has read for kRunSeconds.
template <typename Direct, typename ViaPlugin>
void Run(Direct direct, ViaPlugin viaPlugin, Meter* directMeter, Meter* pluginMeter)
{
    *directMeter = Meter{0, 0, false};
    *pluginMeter = Meter{0, 0, false};
    direct();  // untimed: the first reads touch fresh pages
    viaPlugin();
    for (int turn = 0; directMeter->seconds < kRunSeconds || pluginMeter->seconds < kRunSeconds;
         ++turn) {
        if (turn % 2 == 0) {
            Slice(direct, directMeter);
            Slice(viaPlugin, pluginMeter);
        } else {
            Slice(viaPlugin, pluginMeter);
            Slice(direct, directMeter);
        }
    }
}

void RunCase(const Standin& board, IBonDriver2* driver, int32_t handle, const Case& c, BYTE* buffer,
             Meter* directMeter, Meter* pluginMeter)
{
    auto direct = [&] {
        uint32_t copied = 0;
        board.PtDllGetStreamData(handle, buffer, c.bytes, &copied);
        g_sink = g_sink ^ buffer[0];
        return static_cast<DWORD>(copied);
    };
    if (c.pointer) {
        Run(direct,
            [&] {
                BYTE* data = nullptr;
                DWORD size = 0;
                DWORD remain = 0;
                if (!driver->GetTsStream(&data, &size, &remain) || data == nullptr)
                    return static_cast<DWORD>(0);
                g_sink = g_sink ^ data[0];
                return size;
            },
            directMeter, pluginMeter);
    } else {
        Run(direct,
            [&] {
                DWORD size = c.bytes;
                DWORD remain = 0;
                if (!driver->GetTsStream(buffer, &size, &remain))
                    return static_cast<DWORD>(0);
                g_sink = g_sink ^ buffer[0];
                return size;
            },
            directMeter, pluginMeter);
    }
}

}  // namespace

bool RunThroughput(const Standin& board)
{
    printf("1. Stream throughput\n"
           "   Bytes per second through GetTsStream against PtDllGetStreamData called\n"
           "   directly with a destination of the same size; the board is always ready.\n"
           "   %d runs per row; in each run the two take turns in %.0f ms slices until\n"
           "   each has read for %.1f s. Rates and ratio are medians over the runs.\n\n",
           kRounds, kSliceSeconds * 1e3, kRunSeconds);
    board.EptSimReset();
    board.EptSimSetLogging(0);
    board.EptSimSetStreamMode(EPTSIM_MODE_ALWAYS);
    Folder folder;
    Plugin plugin = {};
    int32_t handle = LoadAndTune(board, folder, L"Zendrel-S.dll", &plugin);
    if (handle == -1)
        return false;
    std::vector<BYTE> buffer(kPluginBufferBytes, 0);

    printf("   %-7s   %12s   %11s   %12s   %-19s   goal >= %.2f\n", "form", "buffer bytes",
           "direct MB/s", "plug-in MB/s", "ratio (min-max)", kGoalRatio);
    bool failed = false;
    for (const Case& c : kCases) {
        std::vector<double> direct;
        std::vector<double> viaPlugin;
        std::vector<double> ratios;
        for (int round = 0; round < kRounds; ++round) {
            Meter d;
            Meter p;
            RunCase(board, plugin.driver, handle, c, buffer.data(), &d, &p);
            failed = failed || d.empty || p.empty;
            direct.push_back(d.Rate());
            viaPlugin.push_back(p.Rate());
            ratios.push_back(d.Rate() > 0 ? p.Rate() / d.Rate() : 0);
        }
        double ratio = Median(ratios);
        printf("   %-7s   %12lu   %11.1f   %12.1f   %5.3f (%5.3f-%5.3f)   %s\n", c.form,
               static_cast<unsigned long>(c.bytes), Median(direct) / 1e6, Median(viaPlugin) / 1e6,
               ratio, Min(ratios), Max(ratios), ratio >= kGoalRatio ? "met" : "NOT met");
    }
    UnloadPlugin(&plugin);
    printf("   (MB = 1,000,000 bytes)\n\n");
    if (failed)
        printf("   a read returned no data; the figures above are not valid\n\n");
    return !failed;
}
