// What record and scan report, as text for people and as one JSON object for
// programs, and the channel file that scan writes. No Windows header here.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "host/analysis/TsAnalyzer.h"
#include "host/diagnosis/ChannelCheck.h"

// Minimum, average and maximum of the signal levels sampled.
struct SignalStats {
    int samples = 0;
    double min = 0;
    double max = 0;
    double sum = 0;

    void Add(double db);
    double Average() const { return samples ? sum / samples : 0.0; }
};

// The highest bit rate over the whole one-second stretches of a recording;
// the time and byte count come from the same clock as the average's.
class RateMeter
{
public:
    void Add(double seconds, uint64_t totalBytes);
    // Never below the average: a recording shorter than a second has only that.
    double PeakMbps(double averageMbps) const { return m_peak > averageMbps ? m_peak : averageMbps; }

private:
    double m_windowStart = 0;
    uint64_t m_windowBytes = 0;  // the total when the window started
    double m_peak = 0;
};

double Mbps(uint64_t bytes, double seconds);

// A stretch of a recording: where it began, in seconds from the start and as
// local time, and how long it lasted.
struct Stretch {
    double at = 0;
    std::string time;
    double seconds = 0;
};

struct RecordSummary {
    std::string file;  // where the stream is: the target, the partial name, or "-"
    std::string driver;
    uint32_t space = 0;
    uint32_t channel = 0;
    std::string spaceName;
    std::string channelName;
    std::string start;  // local time, ISO 8601 with its offset
    std::string end;
    double seconds = 0;
    uint64_t bytes = 0;  // what the file holds
    double peakMbps = 0;
    SignalStats signal;
    bool byteLimit = false;  // --bytes: it may end inside a packet
    std::vector<Stretch> gaps;      // the stream stopped, then went on
    std::vector<Stretch> noSignal;  // the signal level read 0
    // One of the outcomes below; code and error say why it is not complete.
    std::string outcome;
    std::string code;
    std::string error;
};

// Outcomes of record, each with its own exit code:
//   complete     0    the whole recording, under the name asked for
//   failed       1    a write failed, or the stream stopped for good: what was
//                     received is kept under the unfinished name
//   no_data      3    nothing was received: no file, an existing one untouched
//   device_lost  4    the board library lost its board: what was received is
//                     kept under the unfinished name
//   gaps         5    recorded to the end under the name asked for, but the
//                     stream stopped or the signal was lost on the way
//   interrupted  130  Ctrl+C: what was received is kept under the unfinished name
int RecordExitCode(const std::string& outcome);

std::string RecordSummaryText(const RecordSummary& s, const TsAnalyzer& ts);
std::string RecordSummaryJson(const RecordSummary& s, const TsAnalyzer& ts);

struct ScanRow {
    uint32_t space = 0;
    uint32_t channel = 0;
    std::string spaceName;
    std::string name;
    bool tuned = false;
    double signal = 0;  // dB, read once the tuner has settled
    int32_t tsId = -1;  // of the PAT; -1 = none seen
};

extern const char kScanHeading[];
std::string ScanRowText(const ScanRow& row);
// One line: how many channels, tuned, with a TS ID, how long.
std::string ScanSummaryText(const std::vector<ScanRow>& rows, double seconds, bool interrupted);
std::string ScanJson(const std::string& driver, const std::string& tuner, const std::vector<ScanRow>& rows,
                     double seconds, bool interrupted, const std::string& channelFile, const std::string& code,
                     const std::string& error);

// A channel file of what scan found, in code page 932 with CR LF: the
// plug-in's declarations, then each scanned channel's row from the tables
// the plug-in read (found channels as rows, the others disabled with ";").
// False, with *error, when a scanned name is not the tables' name at that
// place: the tables are then not what the plug-in listed.
bool FoundChannelText(ChannelTables& tables, bool isTerrestrial, const std::vector<ScanRow>& rows, Decoder decode,
                      const std::string& when, std::string* text, std::string* error);

