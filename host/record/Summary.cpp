#include "host/record/Summary.h"

#include <stdio.h>

#include "host/Json.h"
#include "host/Text.h"
#include "sidefiles/FixedTexts.h"

const char kScanHeading[] = "space  channel  tuned  signal dB  TS ID   name\n";

namespace {

std::string TsIdText(int32_t tsId) { return tsId < 0 ? "-" : Hex4(static_cast<uint32_t>(tsId)); }

std::string Line(const char* key, const std::string& value) { return std::string(key) + ": " + value + "\n"; }

std::string Count(uint64_t n) { return std::to_string(n); }

bool AnyErrors(const TsAnalyzer::PidCounts& c) { return c.continuityErrors || c.transportErrors || c.scrambled; }

// Bytes a written name must not hold: blanks end a token, ";" a line.
std::string SafeName(std::string name)
{
    for (char& c : name) {
        if (static_cast<uint8_t>(c) <= 32 || c == ';')
            c = '_';
    }
    return name.empty() ? "_" : name;
}

}  // namespace

void SignalStats::Add(double db)
{
    min = samples == 0 || db < min ? db : min;
    max = samples == 0 || db > max ? db : max;
    sum += db;
    ++samples;
}

void RateMeter::Add(double seconds, uint64_t totalBytes)
{
    double span = seconds - m_windowStart;
    if (span < 1.0)
        return;
    double rate = Mbps(totalBytes - m_windowBytes, span);
    m_peak = rate > m_peak ? rate : m_peak;
    m_windowStart = seconds;
    m_windowBytes = totalBytes;
}

double Mbps(uint64_t bytes, double seconds)
{
    return seconds > 0 ? static_cast<double>(bytes) * 8.0 / seconds / 1e6 : 0.0;
}

std::string RecordSummaryText(const RecordSummary& s, const TsAnalyzer& ts)
{
    double average = Mbps(s.bytes, s.seconds);
    std::string text = Line("file", s.file.empty() ? "none: nothing was received" : s.file);
    text += Line("channel", "space " + Count(s.space) + " (" + s.spaceName + "), channel " + Count(s.channel) + " (" +
                                s.channelName + ")");
    text += Line("start", s.start) + Line("end", s.end) + Line("seconds", Fixed(s.seconds, 2));
    text += Line("bytes", Count(s.bytes)) + Line("average Mbit/s", Fixed(average, 2)) +
            Line("peak Mbit/s", Fixed(s.peakMbps, 2));
    text += Line("packets", Count(ts.Packets()));
    text += Line("partial packet at the end", ts.PendingBytes() ? Count(ts.PendingBytes()) + " bytes" : "none");
    text += Line("sync losses", Count(ts.SyncLosses()) + " (" + Count(ts.SkippedBytes()) + " bytes skipped)");
    text += Line("continuity errors", Count(ts.ContinuityErrors())) + Line("transport errors", Count(ts.ErrorPackets()));
    text += Line("scrambled packets", Count(ts.ScrambledPackets())) + Line("TS ID", TsIdText(ts.TransportStreamId()));
    text += Line("signal dB", s.signal.samples ? "min " + Fixed(s.signal.min, 2) + ", average " +
                                                     Fixed(s.signal.Average(), 2) + ", max " + Fixed(s.signal.max, 2)
                                               : "-");
    for (size_t pid = 0; pid < ts.PerPid().size(); ++pid) {
        const TsAnalyzer::PidCounts& c = ts.PerPid()[pid];
        if (AnyErrors(c))
            text += Line(("  PID " + Hex4(static_cast<uint32_t>(pid))).c_str(),
                         Count(c.continuityErrors) + " continuity errors, " + Count(c.transportErrors) +
                             " transport errors, " + Count(c.scrambled) + " scrambled, of " + Count(c.packets) +
                             " packets");
    }
    return text + Line("outcome", s.error.empty() ? s.outcome : s.outcome + ": " + s.error);
}

std::string RecordSummaryJson(const RecordSummary& s, const TsAnalyzer& ts)
{
    JsonArray pids;
    for (size_t pid = 0; pid < ts.PerPid().size(); ++pid) {
        const TsAnalyzer::PidCounts& c = ts.PerPid()[pid];
        if (c.packets == 0)
            continue;
        pids.Add(JsonObject()
                     .Int("pid", static_cast<int64_t>(pid))
                     .Int("packets", static_cast<int64_t>(c.packets))
                     .Int("continuity_errors", static_cast<int64_t>(c.continuityErrors))
                     .Int("transport_errors", static_cast<int64_t>(c.transportErrors))
                     .Int("scrambled_packets", static_cast<int64_t>(c.scrambled))
                     .Text());
    }
    JsonObject signal;
    if (s.signal.samples)
        signal.Num("min", s.signal.min, 2).Num("average", s.signal.Average(), 2).Num("max", s.signal.max, 2);
    else
        signal.Null("min").Null("average").Null("max");
    JsonObject o;
    o.Str("command", "record").Bool("ok", s.outcome == "complete").Str("outcome", s.outcome);
    o.StrOrNull("error", s.error);
    o.Str("driver", s.driver);
    o.StrOrNull("file", s.file);
    o.Int("space", s.space).Str("space_name", s.spaceName).Int("channel", s.channel).Str("channel_name", s.channelName);
    o.Str("start", s.start).Str("end", s.end).Num("seconds", s.seconds, 3);
    o.Int("bytes", static_cast<int64_t>(s.bytes)).Num("average_mbps", Mbps(s.bytes, s.seconds), 3);
    o.Num("peak_mbps", s.peakMbps, 3).Int("packets", static_cast<int64_t>(ts.Packets()));
    o.Int("partial_packet_bytes", static_cast<int64_t>(ts.PendingBytes()));
    o.Int("sync_losses", static_cast<int64_t>(ts.SyncLosses())).Int("skipped_bytes", static_cast<int64_t>(ts.SkippedBytes()));
    o.Int("continuity_errors", static_cast<int64_t>(ts.ContinuityErrors()));
    o.Int("transport_errors", static_cast<int64_t>(ts.ErrorPackets()));
    o.Int("scrambled_packets", static_cast<int64_t>(ts.ScrambledPackets()));
    o.IntOrNull("ts_id", ts.TransportStreamId()).Raw("signal_db", signal.Text());
    return o.Raw("pids", pids.Text()).Text();
}

std::string ScanRowText(const ScanRow& row)
{
    char text[96];
    snprintf(text, sizeof text, "%5lu  %7lu  %-5s  %9s  %-6s  ", static_cast<unsigned long>(row.space),
             static_cast<unsigned long>(row.channel), row.tuned ? "yes" : "no",
             row.tuned ? Fixed(row.signal, 2).c_str() : "-", TsIdText(row.tsId).c_str());
    // The name comes last: its width on screen is not its length in bytes.
    return text + row.name + "\n";
}

std::string ScanSummaryText(const std::vector<ScanRow>& rows, double seconds, bool interrupted)
{
    size_t tuned = 0, found = 0;
    for (const ScanRow& row : rows) {
        tuned += row.tuned;
        found += row.tsId >= 0;
    }
    return "scan: " + Count(rows.size()) + " channels" + (interrupted ? " (interrupted)" : "") + ", " + Count(tuned) +
           " tuned, " + Count(found) + " with a TS ID, " + Count(rows.size() - tuned) + " not tuned, in " +
           Fixed(seconds, 1) + " s\n";
}

std::string ScanJson(const std::string& driver, const std::string& tuner, const std::vector<ScanRow>& rows,
                     double seconds, bool interrupted, const std::string& channelFile, const std::string& error)
{
    JsonArray channels;
    size_t tuned = 0, found = 0;
    for (const ScanRow& row : rows) {
        tuned += row.tuned;
        found += row.tsId >= 0;
        JsonObject o;
        o.Int("space", row.space).Str("space_name", row.spaceName).Int("channel", row.channel).Str("name", row.name);
        o.Bool("tuned", row.tuned);
        row.tuned ? o.Num("signal_db", row.signal, 2) : o.Null("signal_db");
        channels.Add(o.IntOrNull("ts_id", row.tsId).Text());
    }
    JsonObject o;
    o.Str("command", "scan").Bool("ok", !interrupted && error.empty()).Bool("interrupted", interrupted);
    o.StrOrNull("error", error);
    o.Str("driver", driver).Str("tuner", tuner).Num("seconds", seconds, 3).Raw("channels", channels.Text());
    o.Int("tuned", static_cast<int64_t>(tuned)).Int("with_ts_id", static_cast<int64_t>(found));
    return o.StrOrNull("channel_file", channelFile).Text();
}

bool FoundChannelText(ChannelTables& tables, bool isTerrestrial, const std::vector<ScanRow>& rows, Decoder decode,
                      const std::string& when, std::string* text, std::string* error)
{
    std::string out = "; channels found by zendrel-host scan, " + when + "\r\n" +
                      "; rows disabled with \";\" did not tune or carried no TS ID\r\n";
    for (int32_t band = 0; band < kBandCount; ++band) {
        if (tables.space[band] >= 0)
            out += std::string(g_bandKeywords[band]) + "\t" + std::to_string(tables.space[band]) + "\r\n";
    }
    out += "; name\tspace\tPT-ch\tTS-ID\r\n";
    for (const ScanRow& row : rows) {
        int32_t table = TableForSpace(tables.Setup(), row.space);
        if (table < 0 || row.channel >= static_cast<uint32_t>(tables.table[table].count) ||
            FirstCharacters(decode(NameText(tables.table[table].entries[row.channel].name)), 31) != row.name) {
            *error = "the plug-in's channel list changed during the scan (space " + Count(row.space) + ", channel " +
                     Count(row.channel) + ")";
            return false;
        }
        const ChannelEntry& entry = tables.table[table].entries[row.channel];
        bool found = row.tuned && row.tsId >= 0;
        // A terrestrial row may carry the TS ID for the reader's information;
        // a satellite row needs the one it is tuned with.
        int32_t tsId = isTerrestrial ? row.tsId : entry.tsId;
        out += (found ? "" : ";") + SafeName(NameText(entry.name)) + "\t" + Count(row.space) + "\t" +
               Count(entry.ptChannel) + (tsId >= 0 ? "\t" + Hex4(static_cast<uint32_t>(tsId)) : "") + "\t; " +
               (found ? "signal " + Fixed(row.signal, 2) + " dB" : row.tuned ? "no TS ID" : "not tuned") + "\r\n";
    }
    *text = out;
    return true;
}

std::string FailureJson(const char* command, const std::string& driver, const std::string& error,
                        const std::string& cause)
{
    JsonObject o;
    o.Str("command", command).Bool("ok", false).Str("driver", driver).Str("error", error);
    return o.StrOrNull("cause", cause).Text();
}
