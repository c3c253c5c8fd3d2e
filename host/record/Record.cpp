// record: tune one channel and write its stream to a file or to standard
// output, checking it on the way.
#include "host/Commands.h"
#include "host/Console.h"
#include "host/check/Diagnosis.h"
#include "host/Driver.h"
#include "host/NewFile.h"
#include "host/record/Summary.h"

namespace {

// Without a byte for this long the recording gives up, so that --bytes
// cannot wait for ever on a dead stream.
const double kStallSeconds = 10.0;
const double kProgressSeconds = 0.25;
const double kSignalSeconds = 0.5;

void ShowProgress(double seconds, uint64_t bytes, float signal)
{
    // Padded, so that a shorter line covers all of the one before it.
    WriteText(STD_ERROR_HANDLE, "\r" + Fixed(seconds, 1) + " s  " + std::to_string(bytes) + " bytes  " +
                                    Fixed(Mbps(bytes, seconds), 2) + " Mbit/s  signal " + Fixed(signal, 2) +
                                    " dB        ");
}

void ClearProgress()
{
    WriteText(STD_ERROR_HANDLE, "\r" + std::string(72, ' ') + "\r");
}

// Finds the channel by its index in --space, or by its name in --space or in
// every space. Returns the failure, empty when none.
std::string FindChannel(const Command& command, Driver& driver, RecordSummary* s)
{
    std::string name;
    if (command.channelName.empty()) {
        s->space = command.space;
        s->channel = command.channel;
        if (!driver.SpaceName(s->space, &s->spaceName))
            return "the driver has no space " + std::to_string(s->space) + " (see list)";
        if (!driver.ChannelName(s->space, s->channel, &s->channelName))
            return "space " + std::to_string(s->space) + " (" + s->spaceName + ") has no channel " +
                   std::to_string(s->channel) + " (see list)";
        return std::string();
    }
    std::string wanted = ToUtf8(command.channelName);
    std::string found;
    std::string spaceName;
    for (DWORD space = 0; driver.SpaceName(space, &spaceName); ++space) {
        if (command.haveSpace && space != command.space)
            continue;
        for (DWORD channel = 0; driver.ChannelName(space, channel, &name); ++channel) {
            if (name != wanted)
                continue;
            found += (found.empty() ? "" : ", ") + std::string("space ") + std::to_string(space) + " channel " +
                     std::to_string(channel);
            s->space = space;
            s->channel = channel;
            s->spaceName = spaceName;
            s->channelName = name;
        }
    }
    if (found.empty())
        return "no channel is named \"" + wanted + "\"" +
               (command.haveSpace ? " in space " + std::to_string(command.space) : std::string()) + " (see list)";
    if (found.find(',') != std::string::npos)
        return "\"" + wanted + "\" names more than one channel (" + found + "); give --space";
    return std::string();
}

std::string Tune(const RecordSummary& s, Driver& driver)
{
    if (!driver.OpenTuner())
        return "the driver could not open its tuner";
    if (!driver->SetChannel(static_cast<DWORD>(s.space), static_cast<DWORD>(s.channel)))
        return "tuning failed: space " + std::to_string(s.space) + " (" + s.spaceName + ") channel " +
               std::to_string(s.channel) + " (" + s.channelName + ")";
    // Whatever the driver still holds from before the tuning is not this
    // channel's.
    driver->PurgeTsStream();
    return std::string();
}

struct Recording {
    TsAnalyzer ts;
    RateMeter rate;
    uint64_t written = 0;
    double seconds = 0;
};

// Writes the stream until the command's limit, Ctrl+C or a failure. Returns
// the failure, empty when none; an interruption is no failure.
std::string Receive(const Command& command, Driver& driver, NewFile& out, Recording* r, RecordSummary* s)
{
    bool progress = IsTerminal(STD_ERROR_HANDLE);
    double start = Now();
    double lastData = start;
    double lastProgress = -1.0;
    double lastSignal = -1.0;
    std::string failure;
    bool done = false;
    while (!done && failure.empty() && !StopRequested()) {
        double now = Now();
        r->seconds = now - start;
        if (now - lastData >= kStallSeconds)
            failure = "no stream for " + Fixed(kStallSeconds, 0) + " seconds";
        if (!failure.empty() || (command.seconds != 0 && r->seconds >= command.seconds))
            break;
        if (now - lastSignal >= kSignalSeconds) {
            s->signal.Add(driver->GetSignalLevel());
            lastSignal = now;
        }
        if (progress && now - lastProgress >= kProgressSeconds) {
            ShowProgress(r->seconds, r->written, driver->GetSignalLevel());
            lastProgress = now;
        }
        DWORD ready = driver->WaitTsStream(kStreamWaitMs);
        if (ready == 0xFFFFFFFF) {
            failure = "the driver has no tuner";
            break;
        }
        // Read what is ready; remain says whether more is.
        DWORD remain = ready != 0 ? 1 : 0;
        while (remain != 0 && !done && failure.empty()) {
            BYTE* data = nullptr;
            DWORD size = 0;
            remain = 0;
            if (!driver->GetTsStream(&data, &size, &remain) || data == nullptr || size == 0)
                break;
            if (command.bytes != 0 && command.bytes - r->written < size)
                size = static_cast<DWORD>(command.bytes - r->written);
            // What reached the file, and only that, is counted and checked.
            DWORD written = 0;
            out.Write(data, size, &written, &failure);
            r->ts.Feed(data, written);
            r->written += written;
            lastData = Now();
            r->rate.Add(lastData - start, r->written);
            done = command.bytes != 0 && r->written >= command.bytes;
        }
    }
    r->seconds = Now() - start;
    if (progress)
        ClearProgress();
    return failure;
}

}  // namespace

int RunRecord(const Command& command)
{
    // The summary goes where the stream does not.
    DWORD report = command.out == L"-" ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE;
    std::string error;
    NewFile out;
    bool opened = command.out == L"-" ? out.UseStandardOutput(&error) : out.Create(command.out, command.force, &error);
    if (!opened) {
        Complain(error);
        return command.out == L"-" ? 2 : 1;
    }
    Driver driver;
    if (!LoadDriver(&driver, command, "record", report))
        return 1;
    RecordSummary s;
    s.driver = ToUtf8(FullPath(command.driver));
    error = FindChannel(command, driver, &s);
    if (error.empty())
        error = Tune(s, driver);
    if (!error.empty()) {
        Complain(error);
        if (command.json)
            WriteText(report, FailureJson("record", s.driver, error, "") + "\n");
        return 1;
    }
    s.start = LocalTimeText();
    Recording recording;
    s.error = Receive(command, driver, out, &recording, &s);
    s.signal.Add(driver->GetSignalLevel());
    s.end = LocalTimeText();
    driver.Unload();

    bool interrupted = s.error.empty() && StopRequested();
    std::string finishError;
    if (s.error.empty() && !interrupted && !out.Finish(&finishError))
        s.error = finishError;
    out.Abandon();
    s.outcome = interrupted ? "interrupted" : s.error.empty() ? "complete" : "failed";
    s.file = out.Shown();
    s.bytes = out.Size();
    s.seconds = recording.seconds;
    s.peakMbps = recording.rate.PeakMbps(Mbps(s.bytes, s.seconds));
    WriteText(report, command.json ? RecordSummaryJson(s, recording.ts) + "\n"
                                   : RecordSummaryText(s, recording.ts));
    if (s.outcome != "complete")
        Complain(s.file.empty() ? s.outcome + ": nothing was received, so no file was written"
                                : s.outcome + (s.error.empty() ? "" : ": " + s.error) +
                                      "; what was received is in " + s.file);
    return interrupted ? 130 : s.error.empty() ? 0 : 1;
}
