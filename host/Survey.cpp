// list and scan: walk the driver's tuning spaces and their channels.
#include <stdio.h>

#include "host/Commands.h"
#include "host/Console.h"
#include "host/Driver.h"
#include "host/TsAnalyzer.h"

namespace {

// How long, and how much, scan reads from a channel while looking for its
// PAT. A PAT comes every few dozen packets, so either is plenty.
const double kProbeSeconds = 1.0;
const uint64_t kProbeBytes = 1024 * 1024;

struct Probe {
    bool tuned;
    float signal;
    int32_t tsId;
};

Probe ProbeChannel(Driver& driver, DWORD space, DWORD channel)
{
    Probe probe = {false, 0.0f, -1};
    if (!driver->SetChannel(space, channel))
        return probe;
    probe.tuned = true;
    driver->PurgeTsStream();
    TsAnalyzer ts;
    double deadline = Now() + kProbeSeconds;
    while (ts.TransportStreamId() < 0 && ts.Bytes() < kProbeBytes && Now() < deadline && !StopRequested()) {
        DWORD ready = driver->WaitTsStream(kStreamWaitMs);
        if (ready == 0xFFFFFFFF)
            break;
        DWORD remain = ready != 0 ? 1 : 0;
        while (remain != 0) {
            BYTE* data = nullptr;
            DWORD size = 0;
            remain = 0;
            if (!driver->GetTsStream(&data, &size, &remain) || data == nullptr || size == 0)
                break;
            ts.Feed(data, size);
        }
    }
    probe.signal = driver->GetSignalLevel();
    probe.tsId = ts.TransportStreamId();
    return probe;
}

std::string TunerLine(Driver& driver)
{
    return "tuner: " + ToUtf8(driver->GetTunerName()) + "\n";
}

}  // namespace

int RunList(const Command& command)
{
    Driver driver;
    std::string error;
    if (!driver.Load(command.driver, &error)) {
        Complain(error);
        return 1;
    }
    std::string text = TunerLine(driver);
    std::string spaceName;
    DWORD space = 0;
    for (; driver.SpaceName(space, &spaceName); ++space) {
        text += "space " + std::to_string(space) + ": " + spaceName + "\n";
        std::string channelName;
        for (DWORD channel = 0; driver.ChannelName(space, channel, &channelName); ++channel)
            text += "  " + std::to_string(channel) + ": " + channelName + "\n";
    }
    if (space == 0)
        text += "no tuning spaces\n";
    WriteText(STD_OUTPUT_HANDLE, text);
    return 0;
}

int RunScan(const Command& command)
{
    Driver driver;
    std::string error;
    if (!driver.Load(command.driver, &error)) {
        Complain(error);
        return 1;
    }
    std::string spaces;
    std::string spaceName;
    for (DWORD space = 0; driver.SpaceName(space, &spaceName); ++space)
        spaces += (space == 0 ? " " : ", ") + std::to_string(space) + " " + spaceName;
    WriteText(STD_OUTPUT_HANDLE, TunerLine(driver) + "spaces:" + spaces + "\n");
    if (!driver.OpenTuner()) {
        Complain("the driver could not open its tuner");
        return 1;
    }
    // The name comes last: its width on screen is not its length in bytes.
    WriteText(STD_OUTPUT_HANDLE, "space  channel  tuned  signal dB  TS ID   name\n");
    for (DWORD space = 0; driver.SpaceName(space, &spaceName); ++space) {
        std::string channelName;
        for (DWORD channel = 0; driver.ChannelName(space, channel, &channelName); ++channel) {
            if (StopRequested()) {
                Complain("interrupted");
                return 1;
            }
            Probe probe = ProbeChannel(driver, space, channel);
            char signal[32] = "-";
            char tsId[16] = "-";
            if (probe.tuned)
                snprintf(signal, sizeof signal, "%.2f", probe.signal);
            if (probe.tsId >= 0)
                snprintf(tsId, sizeof tsId, "0x%04X", static_cast<unsigned>(probe.tsId));
            char row[96];
            snprintf(row, sizeof row, "%5lu  %7lu  %-5s  %9s  %-6s  ", static_cast<unsigned long>(space),
                     static_cast<unsigned long>(channel), probe.tuned ? "yes" : "no", signal, tsId);
            WriteText(STD_OUTPUT_HANDLE, row + channelName + "\n");
        }
    }
    return 0;
}
