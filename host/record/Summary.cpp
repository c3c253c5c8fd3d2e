#include "host/record/Summary.h"

#include <stdio.h>

#include <algorithm>

#include "host/JsonOutput.h"
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

// "at 1.52 s (21:30:06), for 1.50 s"; the time of day is the ISO text's.
std::string StretchText(const Stretch& stretch)
{
    std::string clock = stretch.time.size() >= 19 ? " (" + stretch.time.substr(11, 8) + ")" : std::string();
    return "at " + Fixed(stretch.at, 2) + " s" + clock + ", for " + Fixed(stretch.seconds, 2) + " s";
}

Json StretchesJson(const std::vector<Stretch>& stretches)
{
    Json array = Json::array();
    for (const Stretch& stretch : stretches)
        array.push_back(
            {{"at", Rounded(stretch.at, 3)}, {"time", stretch.time}, {"seconds", Rounded(stretch.seconds, 3)}});
    return array;
}

// Bytes after the last whole packet, and how they came about.
std::string PartialPacketText(const RecordSummary& s, const TsAnalyzer& ts)
{
    uint64_t bytes = ts.PendingBytes();
    if (bytes == 0)
        return "none";
    if (s.byteLimit)
        return Count(bytes) + " bytes (--bytes ended the recording inside a packet)";
    if (ts.SyncLosses() != 0)
        return Count(bytes) + " bytes (the stream lost bytes on the way, see sync losses, so it ends in no whole "
                              "packet)";
    return Count(bytes) + " bytes (the stream ended inside a packet)";
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

int RecordExitCode(const std::string& outcome)
{
    static const struct {
        const char* outcome;
        int code;
    } kCodes[] = {{"complete", 0}, {"no_data", 3}, {"device_lost", 4}, {"gaps", 5}, {"interrupted", 130}};
    for (const auto& known : kCodes) {
        if (outcome == known.outcome)
            return known.code;
    }
    return 1;
}

std::string RecordSummaryText(const RecordSummary& s, const TsAnalyzer& ts)
{
    // What went wrong comes first, before any figure.
    std::string outcome = s.outcome;
    std::replace(outcome.begin(), outcome.end(), '_', ' ');
    std::string text = Line("outcome", s.error.empty() ? outcome : outcome + ": " + s.error);
    for (const Stretch& gap : s.gaps)
        text += Line("warning", "the stream stopped " + StretchText(gap));
    for (const Stretch& lost : s.noSignal)
        text += Line("warning", "no signal " + StretchText(lost));
    double average = Mbps(s.bytes, s.seconds);
    text += Line("file", s.file.empty() ? "none: nothing was received" : s.file);
    text += Line("channel", "space " + Count(s.space) + " (" + s.spaceName + "), channel " + Count(s.channel) + " (" +
                                s.channelName + ")");
    text += Line("start", s.start) + Line("end", s.end) + Line("seconds", Fixed(s.seconds, 2));
    text += Line("bytes", Count(s.bytes)) + Line("average Mbit/s", Fixed(average, 2)) +
            Line("peak Mbit/s", Fixed(s.peakMbps, 2));
    text += Line("packets", Count(ts.Packets()));
    text += Line("partial packet at the end", PartialPacketText(s, ts));
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
    return text;
}

std::string RecordSummaryJson(const RecordSummary& s, const TsAnalyzer& ts)
{
    Json pids = Json::array();
    for (size_t pid = 0; pid < ts.PerPid().size(); ++pid) {
        const TsAnalyzer::PidCounts& c = ts.PerPid()[pid];
        if (c.packets == 0)
            continue;
        Json p;
        p["pid"] = pid;
        p["packets"] = c.packets;
        p["continuity_errors"] = c.continuityErrors;
        p["transport_errors"] = c.transportErrors;
        p["scrambled_packets"] = c.scrambled;
        pids.push_back(p);
    }
    Json signal;
    signal["min"] = s.signal.samples ? Rounded(s.signal.min, 2) : Json(nullptr);
    signal["average"] = s.signal.samples ? Rounded(s.signal.Average(), 2) : Json(nullptr);
    signal["max"] = s.signal.samples ? Rounded(s.signal.max, 2) : Json(nullptr);
    Json o;
    o["command"] = "record";
    o["ok"] = s.outcome == "complete";
    o["code"] = s.outcome == "complete" ? Json(nullptr) : Json(s.code.empty() ? s.outcome : s.code);
    o["outcome"] = s.outcome;
    o["error"] = TextOrNull(s.error);
    o["driver"] = s.driver;
    o["file"] = TextOrNull(s.file);
    o["space"] = s.space;
    o["space_name"] = s.spaceName;
    o["channel"] = s.channel;
    o["channel_name"] = s.channelName;
    o["start"] = s.start;
    o["end"] = s.end;
    o["seconds"] = Rounded(s.seconds, 3);
    o["bytes"] = s.bytes;
    o["average_mbps"] = Rounded(Mbps(s.bytes, s.seconds), 3);
    o["peak_mbps"] = Rounded(s.peakMbps, 3);
    o["packets"] = ts.Packets();
    o["partial_packet_bytes"] = ts.PendingBytes();
    o["sync_losses"] = ts.SyncLosses();
    o["skipped_bytes"] = ts.SkippedBytes();
    o["continuity_errors"] = ts.ContinuityErrors();
    o["transport_errors"] = ts.ErrorPackets();
    o["scrambled_packets"] = ts.ScrambledPackets();
    o["ts_id"] = NumberOrNull(ts.TransportStreamId());
    o["signal_db"] = signal;
    o["pids"] = pids;
    o["gaps"] = StretchesJson(s.gaps);
    o["no_signal"] = StretchesJson(s.noSignal);
    return JsonText(o);
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
                     double seconds, bool interrupted, const std::string& channelFile, const std::string& code,
                     const std::string& error)
{
    Json channels = Json::array();
    size_t tuned = 0, found = 0;
    for (const ScanRow& row : rows) {
        tuned += row.tuned;
        found += row.tsId >= 0;
        Json c;
        c["space"] = row.space;
        c["space_name"] = row.spaceName;
        c["channel"] = row.channel;
        c["name"] = row.name;
        c["tuned"] = row.tuned;
        c["signal_db"] = row.tuned ? Rounded(row.signal, 2) : Json(nullptr);
        c["ts_id"] = NumberOrNull(row.tsId);
        channels.push_back(c);
    }
    Json o;
    o["command"] = "scan";
    o["ok"] = !interrupted && error.empty();
    o["code"] = interrupted ? Json("interrupted") : TextOrNull(code);
    o["interrupted"] = interrupted;
    o["error"] = TextOrNull(error);
    o["driver"] = driver;
    o["tuner"] = tuner;
    o["seconds"] = Rounded(seconds, 3);
    o["channels"] = channels;
    o["tuned"] = tuned;
    o["with_ts_id"] = found;
    o["channel_file"] = TextOrNull(channelFile);
    return JsonText(o);
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
