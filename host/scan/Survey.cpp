// list and scan: walk the driver's tuning spaces and their channels.
#include "host/Commands.h"
#include "host/Console.h"
#include "host/check/Diagnosis.h"
#include "host/Driver.h"
#include "host/Json.h"
#include "host/NewFile.h"
#include "host/record/Summary.h"

namespace {

// How long, and how much, scan reads from a channel while looking for its
// PAT. A PAT comes every few dozen packets, so either is plenty.
const double kProbeSeconds = 1.0;
const uint64_t kProbeBytes = 1024 * 1024;
// The signal figure is read no sooner than this after tuning: a tuner's
// carrier-to-noise figure is meaningless until the demodulator has locked.
const double kSettleSeconds = 0.3;

ScanRow ProbeChannel(Driver& driver, DWORD space, DWORD channel)
{
    ScanRow row;
    row.space = space;
    row.channel = channel;
    double tuned = Now();
    if (!driver->SetChannel(space, channel))
        return row;
    row.tuned = true;
    driver->PurgeTsStream();
    TsAnalyzer ts;
    while (!StopRequested()) {
        double elapsed = Now() - tuned;
        bool found = ts.TransportStreamId() >= 0 || ts.Bytes() >= kProbeBytes;
        if (elapsed >= kProbeSeconds || (found && elapsed >= kSettleSeconds))
            break;
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
    row.signal = driver->GetSignalLevel();
    row.tsId = ts.TransportStreamId();
    return row;
}

std::string TunerName(Driver& driver)
{
    return ToUtf8(driver->GetTunerName());
}

// Writes the channels found, from the tables the plug-in read at load.
std::string WriteChannels(Judgement& before, const std::vector<ScanRow>& rows, NewFile& file)
{
    std::string text, error;
    if (!before.channels.tables)
        return "the plug-in's channel list could not be read";
    if (!FoundChannelText(*before.channels.tables, before.names.isTerrestrial, rows, AnsiToUtf8, LocalTimeText(),
                          &text, &error))
        return error;
    DWORD written = 0;
    if (!file.Write(text.data(), static_cast<DWORD>(text.size()), &written, &error) || !file.Finish(&error))
        return error;
    return std::string();
}

}  // namespace

int RunList(const Command& command)
{
    Driver driver;
    if (!LoadDriver(&driver, command, "list", STD_OUTPUT_HANDLE))
        return 1;
    std::string text = "tuner: " + TunerName(driver) + "\n";
    JsonArray spaces;
    std::string spaceName;
    DWORD space = 0;
    for (; driver.SpaceName(space, &spaceName); ++space) {
        text += "space " + std::to_string(space) + ": " + spaceName + "\n";
        JsonArray channels;
        std::string channelName;
        for (DWORD channel = 0; driver.ChannelName(space, channel, &channelName); ++channel) {
            text += "  " + std::to_string(channel) + ": " + channelName + "\n";
            channels.Add(JsonObject().Int("channel", channel).Str("name", channelName).Text());
        }
        spaces.Add(JsonObject().Int("space", space).Str("name", spaceName).Raw("channels", channels.Text()).Text());
    }
    if (space == 0)
        text += "no tuning spaces\n";
    if (command.json)
        text = JsonObject()
                   .Str("command", "list")
                   .Bool("ok", true)
                   .Str("driver", ToUtf8(FullPath(command.driver)))
                   .Str("tuner", TunerName(driver))
                   .Raw("spaces", spaces.Text())
                   .Text() +
               "\n";
    WriteText(STD_OUTPUT_HANDLE, text);
    return 0;
}

int RunScan(const Command& command)
{
    std::string error;
    NewFile file;
    Judgement before;
    if (!command.writeChannels.empty()) {
        if (!file.Create(command.writeChannels, command.force, &error)) {
            Complain(error);
            return 1;
        }
        // The tables as the plug-in is about to read them, to learn each
        // channel's PT channel, which no host call tells.
        before = Diagnose(command.driver, true);
    }
    Driver driver;
    if (!LoadDriver(&driver, command, "scan", STD_OUTPUT_HANDLE))
        return 1;
    std::string driverPath = ToUtf8(FullPath(command.driver));
    std::string tuner = TunerName(driver);
    std::string spaces;
    std::string spaceName;
    for (DWORD space = 0; driver.SpaceName(space, &spaceName); ++space)
        spaces += (space == 0 ? " " : ", ") + std::to_string(space) + " " + spaceName;
    if (!command.json)
        WriteText(STD_OUTPUT_HANDLE, "tuner: " + tuner + "\nspaces:" + spaces + "\n" + kScanHeading);
    if (!driver.OpenTuner()) {
        Complain("the driver could not open its tuner");
        if (command.json)
            WriteText(STD_OUTPUT_HANDLE, FailureJson("scan", driverPath, "the driver could not open its tuner", "") + "\n");
        return 1;
    }
    double start = Now();
    std::vector<ScanRow> rows;
    for (DWORD space = 0; driver.SpaceName(space, &spaceName) && !StopRequested(); ++space) {
        std::string channelName;
        for (DWORD channel = 0; driver.ChannelName(space, channel, &channelName) && !StopRequested(); ++channel) {
            ScanRow row = ProbeChannel(driver, space, channel);
            row.spaceName = spaceName;
            row.name = channelName;
            if (StopRequested())
                break;  // cut short: its figures mean nothing
            rows.push_back(row);
            if (!command.json)
                WriteText(STD_OUTPUT_HANDLE, ScanRowText(row));
        }
    }
    double seconds = Now() - start;
    bool interrupted = StopRequested();
    driver.Unload();

    std::string written;
    if (!command.writeChannels.empty() && !interrupted) {
        error = WriteChannels(before, rows, file);
        if (error.empty())
            written = file.Shown();
    }
    WriteText(STD_OUTPUT_HANDLE, command.json ? ScanJson(driverPath, tuner, rows, seconds, interrupted, written, error) + "\n"
                                              : ScanSummaryText(rows, seconds, interrupted));
    if (!written.empty() && !command.json)
        WriteText(STD_OUTPUT_HANDLE, "channel file written: " + written + "\n");
    if (interrupted) {
        Complain("interrupted");
        return 130;
    }
    if (!error.empty()) {
        Complain(error);
        return 1;
    }
    return 0;
}
