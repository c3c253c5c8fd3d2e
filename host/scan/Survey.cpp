// list and scan: walk the driver's tuning spaces and their channels.
#include "host/Commands.h"
#include "host/Console.h"
#include "host/check/Diagnosis.h"
#include "host/Driver.h"
#include "host/JsonOutput.h"
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
// Returns the failure, empty when none, and its code.
std::string WriteChannels(Judgement& before, const std::vector<ScanRow>& rows, NewFile& file, std::string* code)
{
    std::string text, error;
    *code = "channels_changed";
    if (!before.channels.tables)
        return "the plug-in's channel list could not be read";
    if (!FoundChannelText(*before.channels.tables, before.names.isTerrestrial, rows, AnsiToUtf8, LocalTimeText(),
                          &text, &error))
        return error;
    DWORD written = 0;
    if (!file.Write(text.data(), static_cast<DWORD>(text.size()), &written, &error) || !file.Finish(&error)) {
        *code = file.FailureCode();
        return error;
    }
    code->clear();
    return std::string();
}

}  // namespace

int RunList(const Command& command)
{
    Driver driver;
    if (!LoadDriver(&driver, command, "list", STD_OUTPUT_HANDLE))
        return 1;
    std::string text = "tuner: " + TunerName(driver) + "\n";
    Json spaces = Json::array();
    std::string spaceName;
    DWORD space = 0;
    for (; driver.SpaceName(space, &spaceName); ++space) {
        text += "space " + std::to_string(space) + ": " + spaceName + "\n";
        Json channels = Json::array();
        std::string channelName;
        for (DWORD channel = 0; driver.ChannelName(space, channel, &channelName); ++channel) {
            text += "  " + std::to_string(channel) + ": " + channelName + "\n";
            channels.push_back({{"channel", channel}, {"name", channelName}});
        }
        Json entry;
        entry["space"] = space;
        entry["name"] = spaceName;
        entry["channels"] = channels;
        spaces.push_back(entry);
    }
    if (space == 0)
        text += "no tuning spaces\n";
    if (command.json) {
        Json o;
        o["command"] = "list";
        o["ok"] = true;
        o["code"] = nullptr;
        o["driver"] = ToUtf8(FullPath(command.driver));
        o["tuner"] = TunerName(driver);
        o["spaces"] = spaces;
        text = JsonText(o) + "\n";
    }
    WriteText(STD_OUTPUT_HANDLE, text);
    return 0;
}

int RunScan(const Command& command)
{
    std::string error;
    std::string driverPath = ToUtf8(FullPath(command.driver));
    NewFile file;
    Judgement before;
    if (!command.writeChannels.empty()) {
        error = NotTunerPlugin(command.driver, "scan --write-channels");
        if (!error.empty()) {
            Complain(error);
            if (command.json)
                WriteText(STD_OUTPUT_HANDLE,
                          JsonText(FailureJson("scan", driverPath, "not_tuner_plugin", error, "")) + "\n");
            return 1;
        }
        if (!file.Create(command.writeChannels, command.force, &error)) {
            Complain(error);
            if (command.json)
                WriteText(STD_OUTPUT_HANDLE,
                          JsonText(FailureJson("scan", driverPath, file.FailureCode(), error, "")) + "\n");
            return 1;
        }
        // The tables as the plug-in is about to read them, to learn each
        // channel's PT channel, which no host call tells.
        before = Diagnose(command.driver, true);
    }
    Driver driver;
    if (!LoadDriver(&driver, command, "scan", STD_OUTPUT_HANDLE))
        return 1;
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
            WriteText(STD_OUTPUT_HANDLE, JsonText(FailureJson("scan", driverPath, "tuner_unavailable",
                                                              "the driver could not open its tuner", "")) +
                                             "\n");
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

    std::string written, code;
    if (!command.writeChannels.empty() && !interrupted) {
        error = WriteChannels(before, rows, file, &code);
        if (error.empty())
            written = file.Shown();
    }
    WriteText(STD_OUTPUT_HANDLE, command.json ? ScanJson(driverPath, tuner, rows, seconds, interrupted, written, code,
                                                         error) + "\n"
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
