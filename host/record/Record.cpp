// record: tune one channel and write its stream to a file or to standard
// output, checking it on the way.
#include <algorithm>

#include "host/BoardWatch.h"
#include "host/Commands.h"
#include "host/Console.h"
#include "host/diagnosis/Diagnosis.h"
#include "host/Driver.h"
#include "host/JsonOutput.h"
#include "host/NewFile.h"
#include "host/ChannelChoice.h"
#include "host/StreamWatch.h"
#include "host/record/Summary.h"

namespace {

// Nothing at all for this long, and the channel carries no stream: waiting
// out a long --seconds would only delay saying so.
const double kNoDataSeconds = 10.0;
// With --bytes the recording has no end of its own once the stream stops.
const double kStoppedSeconds = 60.0;
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
// every space. Returns the failure, empty when none, with its code.
std::string FindChannel(const Command& command, Driver& driver, RecordSummary* s, std::string* code)
{
    *code = "no_channel";
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
    std::vector<ListedChannel> listed;
    std::string spaceName;
    for (DWORD space = 0; driver.SpaceName(space, &spaceName); ++space) {
        ListedChannel c;
        c.space = space;
        c.spaceName = spaceName;
        for (c.channel = 0; driver.ChannelName(space, c.channel, &c.name); ++c.channel)
            listed.push_back(c);
    }
    ChannelChoice choice = ChooseChannel(listed, ToUtf8(command.channelName), command.haveSpace, command.space);
    if (!choice.found) {
        *code = choice.code;
        return choice.error;
    }
    s->space = choice.channel.space;
    s->channel = choice.channel.channel;
    s->spaceName = choice.channel.spaceName;
    s->channelName = choice.channel.name;
    return std::string();
}

std::string Tune(const RecordSummary& s, Driver& driver, std::string* code)
{
    *code = "tuner_unavailable";
    if (!driver.OpenTuner())
        return "the driver could not open its tuner";
    *code = "tune_failed";
    if (!driver->SetChannel(static_cast<DWORD>(s.space), static_cast<DWORD>(s.channel)))
        return "tuning failed: space " + std::to_string(s.space) + " (" + s.spaceName + ") channel " +
               std::to_string(s.channel) + " (" + s.channelName + ")";
    // Whatever the driver still holds from before the tuning is not this
    // channel's.
    driver->PurgeTsStream();
    code->clear();
    return std::string();
}

struct Recording {
    TsAnalyzer ts;
    RateMeter rate;
    uint64_t written = 0;
    double seconds = 0;
    std::string failureCode;  // "no_data", "device_lost", "stream_stopped", "cannot_write", ...
    std::string failure;
};

// Counts the stretches without signal from the levels sampled.
class SignalLog
{
public:
    void Sample(double at, float level, RecordSummary* s)
    {
        s->signal.Add(level);
        if (level <= 0 && m_lostAt < 0) {
            m_lostAt = at;
            m_lostTime = LocalTimeText();
        } else if (level > 0 && m_lostAt >= 0) {
            Close(at, s);
        }
    }
    void Close(double at, RecordSummary* s)
    {
        if (m_lostAt >= 0)
            s->noSignal.push_back({m_lostAt, m_lostTime, at - m_lostAt});
        m_lostAt = -1;
    }

private:
    double m_lostAt = -1;
    std::string m_lostTime;
};

// Writes the stream until the command's limit, Ctrl+C, the loss of the
// device or a failure; the stream's gaps and the stretches without signal go
// into the summary. An interruption is no failure.
void Receive(const Command& command, Driver& driver, NewFile& out, Recording* r, RecordSummary* s)
{
    bool progress = IsTerminal(STD_ERROR_HANDLE);
    BoardWatch board;
    int32_t boardsAtStart = board.Count();
    SignalLog signal;
    double start = Now();
    StreamWatch watch(start);
    double lastProgress = -1.0;
    double lastSignal = -1.0;
    bool done = false;
    while (!done && r->failure.empty() && !StopRequested()) {
        double now = Now();
        r->seconds = now - start;
        if (command.seconds != 0 && r->seconds >= command.seconds)
            break;
        double quiet = watch.Quiet(now);
        if (watch.TimeToAskBoard(now)) {
            r->failure = LostBoards(boardsAtStart, board.Count(), "when the recording began");
            if (!r->failure.empty()) {
                r->failureCode = "device_lost";
                break;
            }
        }
        if (r->written == 0 && quiet >= kNoDataSeconds) {
            r->failureCode = "no_data";
            r->failure = "nothing was received in " + Fixed(kNoDataSeconds, 0) + " seconds";
            break;
        }
        if (command.bytes != 0 && quiet >= kStoppedSeconds) {
            r->failureCode = "stream_stopped";
            r->failure = "the stream stopped for " + Fixed(kStoppedSeconds, 0) + " seconds before " +
                         std::to_string(command.bytes) + " bytes were received";
            break;
        }
        if (now - lastSignal >= kSignalSeconds) {
            signal.Sample(r->seconds, driver->GetSignalLevel(), s);
            lastSignal = now;
        }
        if (progress && now - lastProgress >= kProgressSeconds) {
            ShowProgress(r->seconds, r->written, driver->GetSignalLevel());
            lastProgress = now;
        }
        DWORD ready = driver->WaitTsStream(kStreamWaitMs);
        if (ready == 0xFFFFFFFF) {
            r->failureCode = "tuner_unavailable";
            r->failure = "the driver has no tuner";
            break;
        }
        if (ready == 0)
            watch.WaitedInVain();
        // Read what is ready; remain says whether more is.
        DWORD remain = ready != 0 ? 1 : 0;
        while (remain != 0 && !done && r->failure.empty()) {
            BYTE* data = nullptr;
            DWORD size = 0;
            remain = 0;
            if (!driver->GetTsStream(&data, &size, &remain) || data == nullptr || size == 0)
                break;
            if (command.bytes != 0 && command.bytes - r->written < size)
                size = static_cast<DWORD>(command.bytes - r->written);
            // What reached the file, and only that, is counted and checked.
            DWORD written = 0;
            if (!out.Write(data, size, &written, &r->failure))
                r->failureCode = out.FailureCode();
            r->ts.Feed(data, written);
            r->written += written;
            now = Now();
            double gap = watch.Data(now);
            if (gap > 0)
                s->gaps.push_back({now - gap - start, LocalTimeText(gap), gap});
            r->rate.Add(now - start, r->written);
            done = command.bytes != 0 && r->written >= command.bytes;
        }
    }
    double end = Now();
    r->seconds = end - start;
    // Stretches still open at the end: the recording ended within them.
    double gap = watch.OpenGap(end);
    if (gap > 0)
        s->gaps.push_back({watch.LastData() - start, LocalTimeText(gap), gap});
    signal.Close(r->seconds, s);
    if (progress)
        ClearProgress();
}

// The outcome and what becomes of the file: renamed to its target only when
// the recording ran to its end with data; kept under the unfinished name
// when it holds something; removed when empty, so that an existing target
// is never replaced by a recording of nothing.
void Conclude(Recording& r, NewFile& out, RecordSummary* s)
{
    bool interrupted = r.failure.empty() && StopRequested();
    s->code = r.failureCode;
    s->error = r.failure;
    if (interrupted) {
        s->outcome = "interrupted";
    } else if (r.failureCode == "device_lost") {
        s->outcome = "device_lost";
        s->error += " (noticed " + Fixed(r.seconds, 2) + " s into the recording)";
    } else if (r.written == 0 && (r.failure.empty() || r.failureCode == "no_data")) {
        s->outcome = "no_data";
        s->code = "no_data";
        s->error = "nothing was received in " +
                   Fixed(r.failure.empty() ? r.seconds : kNoDataSeconds, 0) +
                   " seconds: this channel carries no stream here (does its TS ID match the carrier? see scan)";
    } else if (!r.failure.empty()) {
        s->outcome = "failed";
    } else {
        std::string error;
        if (!out.Finish(&error)) {
            s->outcome = "failed";
            s->code = out.FailureCode();
            s->error = error;
        } else if (!s->gaps.empty() || !s->noSignal.empty()) {
            s->outcome = "gaps";
            s->error = std::to_string(s->gaps.size()) + " gap(s) in the stream, " +
                       std::to_string(s->noSignal.size()) + " stretch(es) without signal; recorded to the end";
        } else {
            s->outcome = "complete";
            s->code.clear();
        }
    }
    if (s->outcome == "gaps")
        s->code = "gaps";
    else if (s->outcome == "interrupted")
        s->code = "interrupted";
    out.Abandon();
}

}  // namespace

int RunRecord(const Command& command)
{
    // The summary goes where the stream does not.
    DWORD report = command.out == L"-" ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE;
    std::string driverPath = ToUtf8(FullPath(command.driver));
    std::string error;
    bool existed = command.out != L"-" && Exists(FullPath(command.out));
    NewFile out;
    bool opened = command.out == L"-" ? out.UseStandardOutput(&error) : out.Create(command.out, command.force, &error);
    if (!opened) {
        Complain(error);
        if (command.json)
            WriteText(report, JsonText(FailureJson("record", driverPath, out.FailureCode(), error, "")) + "\n");
        return command.out == L"-" ? 2 : 1;
    }
    Driver driver;
    if (!LoadDriver(&driver, command.driver, command.json, "record", report))
        return 1;
    RecordSummary s;
    s.driver = driverPath;
    s.byteLimit = command.bytes != 0;
    std::string code;
    error = FindChannel(command, driver, &s, &code);
    if (error.empty())
        error = Tune(s, driver, &code);
    if (!error.empty()) {
        Complain(error);
        if (command.json)
            WriteText(report, JsonText(FailureJson("record", s.driver, code, error, "")) + "\n");
        return 1;
    }
    s.start = LocalTimeText();
    Recording recording;
    Receive(command, driver, out, &recording, &s);
    s.signal.Add(driver->GetSignalLevel());
    s.end = LocalTimeText();
    driver.Unload();

    Conclude(recording, out, &s);
    s.file = out.Shown();
    s.bytes = out.Size();
    s.seconds = recording.seconds;
    s.peakMbps = recording.rate.PeakMbps(Mbps(s.bytes, s.seconds));
    WriteText(report, command.json ? RecordSummaryJson(s, recording.ts) + "\n"
                                   : RecordSummaryText(s, recording.ts));
    std::string outcome = s.outcome;
    std::replace(outcome.begin(), outcome.end(), '_', ' ');
    if (s.outcome == "gaps")
        Complain("the recording has gaps: " + s.error + "; see the warnings");
    else if (s.outcome != "complete" && s.file.empty())
        Complain(outcome + ": " + (s.error.empty() ? "nothing was received" : s.error) + "; no file was written" +
                 (existed ? ", and " + ToUtf8(command.out) + " was left as it was" : ""));
    else if (s.outcome != "complete")
        Complain(outcome + (s.error.empty() ? "" : ": " + s.error) + "; what was received is kept in " + s.file);
    return RecordExitCode(s.outcome);
}
