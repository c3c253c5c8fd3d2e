// record: tune one channel and write its stream to a file, checking it on the
// way.
#include <stdio.h>

#include "host/Commands.h"
#include "host/Console.h"
#include "host/Driver.h"
#include "host/TsAnalyzer.h"

namespace {

// Without a byte for this long the recording gives up, so that --bytes
// cannot wait for ever on a dead stream.
const double kStallSeconds = 10.0;
const double kProgressSeconds = 0.25;

// The output file. Opened before the driver is loaded, so that a bad path
// fails early; emptied only once the stream starts, so that a run that fails
// before that leaves an existing file as it was and removes a new one.
class OutputFile
{
public:
    OutputFile() = default;
    ~OutputFile() { Close(); }
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    bool Open(const std::wstring& path, std::string* error)
    {
        m_path = path;
        m_handle = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        if (m_handle == INVALID_HANDLE_VALUE) {
            *error = "cannot write " + ToUtf8(path) + ": " + SystemMessage(GetLastError());
            return false;
        }
        m_created = GetLastError() != ERROR_ALREADY_EXISTS;
        return true;
    }

    bool Start(std::string* error)
    {
        if (SetFilePointer(m_handle, 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER ||
            !SetEndOfFile(m_handle)) {
            *error = "cannot empty " + ToUtf8(m_path) + ": " + SystemMessage(GetLastError());
            return false;
        }
        m_started = true;
        return true;
    }

    bool Write(const BYTE* data, DWORD size, std::string* error)
    {
        while (size > 0) {
            DWORD written = 0;
            if (!WriteFile(m_handle, data, size, &written, nullptr) || written == 0) {
                *error = "cannot write " + ToUtf8(m_path) + ": " + SystemMessage(GetLastError());
                return false;
            }
            data += written;
            size -= written;
        }
        return true;
    }

    // Flushes and closes; a file that never started is left as it was found.
    bool Close(std::string* error = nullptr)
    {
        if (m_handle == INVALID_HANDLE_VALUE)
            return true;
        bool ok = true;
        if (m_started && !FlushFileBuffers(m_handle)) {
            ok = false;
            if (error != nullptr)
                *error = "cannot flush " + ToUtf8(m_path) + ": " + SystemMessage(GetLastError());
        }
        CloseHandle(m_handle);
        m_handle = INVALID_HANDLE_VALUE;
        if (!m_started && m_created)
            DeleteFileW(m_path.c_str());
        return ok;
    }

private:
    std::wstring m_path;
    HANDLE m_handle = INVALID_HANDLE_VALUE;
    bool m_created = false;
    bool m_started = false;
};

std::string Format(const char* format, double a, double b = 0, double c = 0, double d = 0)
{
    char text[160];
    snprintf(text, sizeof text, format, a, b, c, d);
    return text;
}

double Mbps(uint64_t bytes, double seconds)
{
    return seconds > 0 ? static_cast<double>(bytes) * 8.0 / seconds / 1e6 : 0.0;
}

void ShowProgress(double seconds, uint64_t bytes, float signal)
{
    // Padded, so that a shorter line covers all of the one before it.
    WriteText(STD_ERROR_HANDLE, Format("\r%7.1f s %14.0f bytes %8.2f Mbit/s  signal %6.2f dB  ", seconds,
                                       static_cast<double>(bytes), Mbps(bytes, seconds), signal));
}

void ClearProgress()
{
    WriteText(STD_ERROR_HANDLE, "\r" + std::string(72, ' ') + "\r");
}

std::string TsIdText(int32_t tsId)
{
    if (tsId < 0)
        return "-";
    char text[16];
    snprintf(text, sizeof text, "0x%04X", static_cast<unsigned>(tsId));
    return text;
}

void PrintSummary(const Command& command, double seconds, const TsAnalyzer& ts, float signal)
{
    char text[640];
    snprintf(text, sizeof text,
             "seconds: %.2f\n"
             "bytes: %llu\n"
             "packets: %llu\n"
             "sync losses: %llu (%llu bytes skipped)\n"
             "continuity errors: %llu\n"
             "transport errors: %llu\n"
             "scrambled packets: %llu\n"
             "TS ID: %s\n"
             "signal level: %.2f dB\n",
             seconds, static_cast<unsigned long long>(ts.Bytes()), static_cast<unsigned long long>(ts.Packets()),
             static_cast<unsigned long long>(ts.SyncLosses()), static_cast<unsigned long long>(ts.SkippedBytes()),
             static_cast<unsigned long long>(ts.ContinuityErrors()),
             static_cast<unsigned long long>(ts.ErrorPackets()),
             static_cast<unsigned long long>(ts.ScrambledPackets()), TsIdText(ts.TransportStreamId()).c_str(),
             signal);
    WriteText(STD_OUTPUT_HANDLE, "file: " + ToUtf8(command.out) + "\n" + text);
}

// Checks the space and channel against the driver's lists, then tunes.
// Returns the failure, empty when none.
std::string Tune(const Command& command, Driver& driver)
{
    std::string space = std::to_string(command.space);
    std::string channel = std::to_string(command.channel);
    std::string spaceName;
    std::string channelName;
    if (!driver.SpaceName(command.space, &spaceName))
        return "the driver has no space " + space + " (see list)";
    if (!driver.ChannelName(command.space, command.channel, &channelName))
        return "space " + space + " (" + spaceName + ") has no channel " + channel + " (see list)";
    if (!driver.OpenTuner())
        return "the driver could not open its tuner";
    if (!driver->SetChannel(static_cast<DWORD>(command.space), static_cast<DWORD>(command.channel)))
        return "tuning failed: space " + space + " (" + spaceName + ") channel " + channel + " (" + channelName + ")";
    // Whatever the driver still holds from before the tuning is not this
    // channel's.
    driver->PurgeTsStream();
    return std::string();
}

struct Recording {
    TsAnalyzer ts;
    uint64_t written = 0;
    double seconds = 0;
};

// Writes the stream to the file until the command's limit, Ctrl+C or a
// failure. Returns the failure, empty when none.
std::string Receive(const Command& command, Driver& driver, OutputFile& file, Recording* r)
{
    bool progress = IsTerminal(STD_ERROR_HANDLE);
    double start = Now();
    double lastData = start;
    double lastProgress = -1.0;
    std::string failure;
    bool done = false;
    while (!done && failure.empty()) {
        double now = Now();
        r->seconds = now - start;
        if (StopRequested())
            failure = "interrupted";
        else if (now - lastData >= kStallSeconds)
            failure = Format("no stream for %.0f seconds", kStallSeconds);
        if (!failure.empty() || (command.seconds != 0 && r->seconds >= command.seconds) ||
            (command.bytes != 0 && r->written >= command.bytes))
            break;
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
        while (remain != 0 && !done) {
            BYTE* data = nullptr;
            DWORD size = 0;
            remain = 0;
            if (!driver->GetTsStream(&data, &size, &remain) || data == nullptr || size == 0)
                break;
            if (command.bytes != 0 && command.bytes - r->written < size)
                size = static_cast<DWORD>(command.bytes - r->written);
            if (!file.Write(data, size, &failure))
                break;
            r->ts.Feed(data, size);
            r->written += size;
            lastData = Now();
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
    std::string error;
    OutputFile file;
    if (!file.Open(command.out, &error)) {
        Complain(error);
        return 1;
    }
    Driver driver;
    if (!driver.Load(command.driver, &error)) {
        Complain(error);
        return 1;
    }
    error = Tune(command, driver);
    if (!error.empty() || !file.Start(&error)) {
        Complain(error);
        return 1;
    }
    Recording recording;
    std::string failure = Receive(command, driver, file, &recording);
    float signal = driver->GetSignalLevel();
    if (!file.Close(&error) && failure.empty())
        failure = error;
    driver.Unload();

    PrintSummary(command, recording.seconds, recording.ts, signal);
    if (!failure.empty()) {
        Complain(failure + "; what was received is in " + ToUtf8(command.out));
        return 1;
    }
    return 0;
}
