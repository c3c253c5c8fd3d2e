#include "host/check/CheckReport.h"

#include "host/JsonOutput.h"
#include "host/Text.h"

namespace {

// What becomes at release of a side file the plug-in writes.
std::string WrittenAtRelease(const Judgement& j)
{
    if (j.files.folderWritable == 0)
        return "but nothing can be written in its folder (" + j.files.folderError +
               "), so the plug-in cannot write it at release";
    return "written at release";
}

std::string SettingsText(const Judgement& j)
{
    const SideFileFacts& f = j.files;
    std::string values = "OutLNB=" + std::to_string(f.outLnb) + " AutoMake=" + std::to_string(f.autoMake);
    std::string lnb = j.names.isTerrestrial ? " (no effect on a terrestrial tuner)"
                                            : (f.outLnb == 1 ? " (LNB power on)" : " (no LNB power)");
    if (!f.settingsExists)
        return "  missing: " + values + " apply" + lnb + (f.autoMake ? "; " + WrittenAtRelease(j) + "\n" : "\n");
    return "  exists: " + values + lnb + (f.autoMake ? "" : "; missing side files are not written") + "\n";
}

std::string ChannelFileText(const Judgement& j)
{
    const SideFileFacts& f = j.files;
    std::string legacy = ToUtf8(j.names.legacyPath);
    // At release only where no entry of that name exists.
    bool writes = f.autoMake && !f.channelExists;
    std::string text;
    if (j.source == "legacy" && f.folderWritable == 0)
        text = "  missing, and the legacy file " + legacy + " exists, but nothing can be written in its folder (" +
               f.folderError + "): the plug-in cannot rename it and uses its defaults\n";
    else if (j.source == "legacy")
        text = "  missing, but the legacy file " + legacy + " exists: the plug-in renames it to this name at load\n";
    else if (f.channelExists && !f.channelRead)
        text = "  exists, but cannot be opened: " + f.channelError + "\n";
    else if (!f.channelExists)
        text = "  missing\n";
    if (j.source == "file" || j.source == "legacy")
        text += "  " + std::to_string(f.channelBytes.size()) + " bytes of " + j.channels.encoding + " text\n";
    else if (j.source == "built-in")
        text += "  the plug-in uses its built-in satellite list" + (writes ? "; " + WrittenAtRelease(j) : "") + "\n";
    else if (j.board.haveChannelList)
        text += "  the plug-in builds its list from the board's " + Counted(j.board.channelNames.size(), "channel") +
                (writes ? "; " + WrittenAtRelease(j) : "") + "\n";
    else
        text += "  the plug-in builds its list from the board's own (add --board to read it)\n";
    if (f.legacyExists && j.source != "legacy")
        text += "  legacy name " + legacy + " exists too; the plug-in leaves it alone\n";
    return text;
}

// Whether b only repeats a's verdict (as the rows of a band that is
// commented out do), so that one line can say it for both. A dropped line
// shows what was read, which differs.
bool Repeats(const LineVerdict& a, const LineVerdict& b)
{
    return a.fate == b.fate && a.message == b.message && a.fate != "dropped" && a.problems.empty() &&
           b.problems.empty();
}

std::string LineText(const LineVerdict& line)
{
    std::string text = "  line " + std::to_string(line.line) + ": " + line.fate + ": " + line.message + "\n";
    if (line.fate == "dropped")
        text += "    read as: " + line.text + "\n";
    for (const Problem& p : line.problems)
        text += "    - " + p.message + "\n";
    return text;
}

std::string SpacesText(const Judgement& j)
{
    ChannelTables& tables = *j.channels.tables;
    uint32_t listed = tables.ListedSpaces();
    std::string text;
    for (uint32_t s = 0; s < listed; ++s) {
        int32_t table = TableForSpace(tables.Setup(), s);
        text += (s ? "; " : " ") + std::to_string(s) + " " + SpaceName(j.names.isTerrestrial, table) + ": " +
                Counted(tables.table[table].count, "channel");
    }
    return "spaces:" + (listed ? text : std::string(" none")) + "\n";
}

std::string BoardText(const BoardFacts& b)
{
    if (!b.probed)
        return "board: not checked (add --board)\n";
    if (b.library.empty())
        return "board: " + b.error + "\n";
    std::string text =
        "board: " + b.library + ": version " + std::to_string(b.version) + ", " + Counted(b.boards, "board") + "\n";
    for (const BoardFacts::Tuner& t : b.tried)
        text += "  tuner " + t.name + ": " + (t.free ? "free" : "cannot be opened") +
                (t.name == b.tuner ? ", this copy takes it" : "") + "\n";
    return text;
}

std::string VerdictText(const Judgement& j)
{
    const ChannelVerdict& c = j.channels;
    std::string text = "verdict: ";
    if (j.source == "file" || j.source == "legacy")
        text += Counted(c.lines.size(), "line") + " read: " + std::to_string(c.dropped) + " dropped, " +
                (c.disabled ? std::to_string(c.disabled) + " disabled on purpose, " : "") +
                std::to_string(c.changed) + " not taken as written, " + Counted(c.warnings.size(), "warning") + "; ";
    if (j.loads == 1)
        return text + "the plug-in loads\n";
    if (j.loads == 0)
        return text + "the plug-in refuses to load: " + j.cause + "\n";
    return text + "the side files let the plug-in load; the board was not checked\n";
}

Json ProblemsJson(const std::vector<Problem>& problems)
{
    Json array = Json::array();
    for (const Problem& p : problems)
        array.push_back({{"code", p.code}, {"message", p.message}});
    return array;
}

Json LineJson(const LineVerdict& line)
{
    Json o;
    o["line"] = line.line;
    o["fate"] = line.fate;
    o["reason"] = TextOrNull(line.reason);
    o["message"] = line.message;
    o["text"] = line.text;
    o["band"] = line.band < 0 ? Json(nullptr) : Json(kBandNames[line.band]);
    o["space"] = NumberOrNull(line.space);
    o["channel"] = NumberOrNull(line.channel);
    o["name"] = line.fate == "kept" ? Json(line.name) : Json(nullptr);
    o["pt_channel"] = NumberOrNull(line.ptChannel);
    o["ts_id"] = NumberOrNull(line.tsId);
    o["problems"] = ProblemsJson(line.problems);
    return o;
}

Json SpacesJson(const Judgement& j)
{
    Json array = Json::array();
    if (!j.channels.tables)
        return array;
    ChannelTables& tables = *j.channels.tables;
    for (uint32_t s = 0, listed = tables.ListedSpaces(); s < listed; ++s) {
        int32_t table = TableForSpace(tables.Setup(), s);
        Json space;
        space["space"] = s;
        space["name"] = SpaceName(j.names.isTerrestrial, table);
        space["channels"] = tables.table[table].count;
        array.push_back(space);
    }
    return array;
}

Json BoardJson(const BoardFacts& b)
{
    if (!b.probed)
        return nullptr;
    Json o;
    o["library"] = TextOrNull(b.library);
    o["error"] = TextOrNull(b.error);
    o["version"] = b.version;
    o["boards"] = b.boards;
    Json tried = Json::array();
    for (const BoardFacts::Tuner& t : b.tried)
        tried.push_back({{"name", t.name}, {"free", t.free}});
    o["tried"] = tried;
    o["tuner"] = TextOrNull(b.tuner);
    return o;
}

}  // namespace

std::string CheckText(const Judgement& j)
{
    std::string text = "plug-in: " + ToUtf8(j.modulePath) + "\n";
    if (!j.names.ok)
        return text + "verdict: the plug-in refuses to load: " + j.cause + "\n";
    text += "  " + TunerKind(j.names.isTerrestrial) +
            (j.names.kindLetter ? std::string(" (kind letter ") + j.names.kindLetter + ")" : " (no kind letter)");
    if (j.names.tunerDigit >= 0)
        text += ", tuner digit " + std::to_string(j.names.tunerDigit) + ": " + PinnedTuner(j.names.tunerDigit) + "\n";
    else
        text += ", the first free tuner of its kind, board by board\n";
    text += "settings file: " + ToUtf8(j.names.settingsPath) + "\n" + SettingsText(j);
    text += "channel file: " + ToUtf8(j.names.channelPath) + "\n" + ChannelFileText(j);
    if (j.source == "file" || j.source == "legacy") {
        text += "lines:\n";
        const std::vector<LineVerdict>& lines = j.channels.lines;
        for (size_t first = 0, next = 0; first < lines.size(); first = next) {
            for (next = first + 1; next < lines.size() && Repeats(lines[first], lines[next]);)
                ++next;
            if (next - first == 1)
                text += LineText(lines[first]);
            else
                text += "  lines " + std::to_string(lines[first].line) + " to " + std::to_string(lines[next - 1].line) +
                        " (" + std::to_string(next - first) + "): " + lines[first].fate + ": " +
                        lines[first].message + "\n";
        }
        if (j.channels.lines.empty())
            text += "  none but blanks and comments\n";
    }
    for (const Problem& w : j.channels.warnings)
        text += "warning: " + w.message + "\n";
    return text + SpacesText(j) + BoardText(j.board) + VerdictText(j);
}

std::string CheckJson(const Judgement& j)
{
    Json o;
    o["command"] = "check";
    o["ok"] = CheckExitCode(j) == 0;
    o["code"] = CheckExitCode(j) == 0 ? Json(nullptr) : Json(j.loads == 0 ? "will_not_load" : "channel_file_problems");
    o["driver"] = ToUtf8(j.modulePath);
    o["kind"] = TunerKind(j.names.isTerrestrial);
    o["kind_letter"] = j.names.kindLetter ? Json(std::string(1, j.names.kindLetter)) : Json(nullptr);
    o["tuner_digit"] = NumberOrNull(j.names.tunerDigit);
    o["settings_file"] = nullptr;
    o["channel_file"] = nullptr;
    if (j.names.ok) {
        Json settings;
        settings["path"] = ToUtf8(j.names.settingsPath);
        settings["exists"] = j.files.settingsExists;
        settings["out_lnb"] = j.files.outLnb;
        settings["auto_make"] = j.files.autoMake;
        o["settings_file"] = settings;
        bool read = j.files.channelRead;
        Json channel;
        channel["path"] = ToUtf8(j.names.channelPath);
        channel["exists"] = j.files.channelExists;
        channel["legacy_path"] = ToUtf8(j.names.legacyPath);
        channel["legacy_exists"] = j.files.legacyExists;
        channel["source"] = j.source;
        channel["bytes"] = read ? Json(j.files.channelBytes.size()) : Json(nullptr);
        channel["encoding"] = read ? Json(j.channels.encoding) : Json(nullptr);
        channel["error"] = TextOrNull(j.files.channelError);
        o["channel_file"] = channel;
    }
    o["folder_writable"] = j.files.folderWritable < 0 ? Json(nullptr) : Json(j.files.folderWritable == 1);
    Json lines = Json::array();
    if (j.source == "file" || j.source == "legacy") {
        for (const LineVerdict& line : j.channels.lines)
            lines.push_back(LineJson(line));
    }
    o["lines"] = lines;
    o["warnings"] = ProblemsJson(j.channels.warnings);
    o["spaces"] = SpacesJson(j);
    o["dropped"] = j.channels.dropped;
    o["disabled"] = j.channels.disabled;
    o["changed"] = j.channels.changed;
    o["board"] = BoardJson(j.board);
    o["loads"] = j.loads < 0 ? Json(nullptr) : Json(j.loads == 1);
    o["cause"] = TextOrNull(j.cause);
    return JsonText(o);
}

int CheckExitCode(const Judgement& j)
{
    bool linesClean = j.source == "file" || j.source == "legacy" ? j.channels.Clean() : true;
    return j.loads != 0 && linesClean ? 0 : 1;
}
