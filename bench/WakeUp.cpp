// WaitTsStream wake-up: with the board in manual mode, bytes are scheduled to
// become ready D ms after the call starts; the figure is how long after that
// moment the call returns. The plug-in polls the board every 10 ms, so the
// delay depends on where the due moment falls between two polls: a fixed D
// shows one phase, D swept across a whole poll period shows them all.
#include "bench/Bench.h"

#include <stdio.h>

namespace {

const int kRuns = 50;
const DWORD kTimeoutMs = 1000;
const uint32_t kBytes = 188 * 64;

struct WakeCase {
    const char* label;
    uint32_t firstMicros;
    uint32_t sweepMicros;  // D goes from firstMicros to firstMicros + sweepMicros
};

const WakeCase kCases[] = {
    {"D = 25 ms", 25000, 0},
    {"D = 20..30 ms, swept", 20000, 10000},
};

bool RunCase(const Standin& board, IBonDriver2* driver, int32_t handle, const WakeCase& c)
{
    std::vector<double> lateMs;
    int timeouts = 0;
    for (int run = 0; run < kRuns; ++run) {
        uint32_t delay = c.firstMicros + static_cast<uint32_t>(
                                             static_cast<uint64_t>(c.sweepMicros) * run / kRuns);
        // The stand-in sets its due moment from its own clock inside the call,
        // a little after this reading: the delay is overstated by microseconds.
        uint64_t due = board.EptSimNowMicros() + delay;
        board.EptSimScheduleBytes(handle, kBytes, delay);
        DWORD ready = driver->WaitTsStream(kTimeoutMs);
        uint64_t returned = board.EptSimNowMicros();
        if (ready == 0)
            ++timeouts;
        else
            lateMs.push_back((static_cast<double>(returned) - static_cast<double>(due)) / 1e3);
        driver->PurgeTsStream();
    }
    if (lateMs.empty()) {
        printf("   %-22s every call timed out\n", c.label);
        return false;
    }
    printf("   %-22s %4d   %7.2f   %7.2f   %7.2f   %8d\n", c.label, kRuns, Median(lateMs),
           Percentile(lateMs, 0.9), Max(lateMs), timeouts);
    return true;
}

}  // namespace

bool RunWakeUp(const Standin& board)
{
    printf("4. WaitTsStream wake-up\n"
           "   Delay in ms from the moment scheduled bytes become ready to the return\n"
           "   of WaitTsStream(%lu), which began D ms before that moment.\n\n",
           static_cast<unsigned long>(kTimeoutMs));
    board.EptSimReset();
    board.EptSimSetLogging(0);
    board.EptSimSetStreamMode(EPTSIM_MODE_MANUAL);
    Folder folder;
    Plugin plugin = {};
    int32_t handle = LoadAndTune(board, folder, L"Zendrel-S.dll", &plugin);
    if (handle == -1)
        return false;
    printf("   %-22s %4s   %7s   %7s   %7s   %8s\n", "case", "runs", "median", "p90", "max",
           "timeouts");
    bool ran = true;
    for (const WakeCase& c : kCases)
        ran = RunCase(board, plugin.driver, handle, c) && ran;
    UnloadPlugin(&plugin);
    printf("\n");
    return ran;
}
