#include "host/diagnosis/ChannelCheck.h"

#include <stdlib.h>
#include <string.h>

#include "host/Text.h"
#include "sidefiles/ChannelText.h"
#include "sidefiles/FixedTexts.h"

const char* const kBandNames[kBandCount] = {"UHF", "CATV", "BS", "CS110"};

namespace {

// Longest channel name a host gets: its name field holds 32 characters with
// the terminator.
const size_t kHostNameLength = 31;

// Whether ReadNumber takes the whole token as its number.
bool IsWholeNumber(const char* token)
{
    const char* end = token;
    ReadNumber(token, &end);
    return end != token && *end == '\0';
}

bool IsValidUtf8(const std::string& bytes, bool* multiByte)
{
    *multiByte = false;
    for (size_t i = 0; i < bytes.size();) {
        uint8_t c = static_cast<uint8_t>(bytes[i]);
        size_t extra = c < 0x80 ? 0 : (c & 0xE0) == 0xC0 ? 1 : (c & 0xF0) == 0xE0 ? 2 : (c & 0xF8) == 0xF0 ? 3 : 4;
        if (extra == 4 || (extra == 1 && c < 0xC2) || (extra > 0 && i + extra >= bytes.size()))
            return false;
        for (size_t k = 1; k <= extra; ++k) {
            if ((static_cast<uint8_t>(bytes[i + k]) & 0xC0) != 0x80)
                return false;
        }
        *multiByte = *multiByte || extra > 0;
        i += 1 + extra;
    }
    return true;
}

std::string DetectEncoding(const std::string& bytes)
{
    if (bytes.empty())
        return "empty";
    size_t nuls = 0;
    bool ascii = true;
    for (char c : bytes) {
        nuls += c == '\0';
        ascii = ascii && static_cast<uint8_t>(c) < 0x80;
    }
    if (bytes.compare(0, 2, "\xFF\xFE") == 0 || bytes.compare(0, 2, "\xFE\xFF") == 0 || nuls * 4 >= bytes.size())
        return "utf-16";
    if (ascii)
        return "ascii";
    bool multiByte = false;
    return IsValidUtf8(bytes, &multiByte) && multiByte ? "utf-8" : "cp932";
}

// A band declaration behind ";": its rows are disabled on purpose, as the
// plug-in writes the cable band (";$CATV 1").
struct CommentedDeclaration {
    int32_t line;
    int32_t band;
    int32_t space;
};

// Lines are counted as the reader counts them: CR LF, LF and CR end one each.
std::vector<CommentedDeclaration> FindCommentedDeclarations(const std::string& bytes)
{
    std::vector<CommentedDeclaration> found;
    int32_t line = 1;
    for (size_t at = 0; at < bytes.size();) {
        size_t end = bytes.find_first_of("\r\n", at);
        if (end == std::string::npos)
            end = bytes.size();
        std::string text = bytes.substr(at, end - at);
        size_t p = text.find_first_not_of(" \t");
        if (p != std::string::npos && text[p] == ';') {
            p = text.find_first_not_of("; \t", p);
            size_t keywordEnd = p == std::string::npos ? p : text.find_first_of(" \t;", p);
            std::string keyword = p == std::string::npos ? "" : text.substr(p, keywordEnd - p);
            size_t number = keywordEnd == std::string::npos ? keywordEnd : text.find_first_not_of(" \t", keywordEnd);
            for (int32_t band = 0; band < kBandCount && number != std::string::npos; ++band) {
                if (keyword == g_bandKeywords[band] && text[number] != ';')
                    found.push_back({line, band, ReadNumber(text.c_str() + number)});
            }
        }
        at = end < bytes.size() && bytes[end] == '\r' && end + 1 < bytes.size() && bytes[end + 1] == '\n' ? end + 2
                                                                                                      : end + 1;
        ++line;
    }
    return found;
}

struct Checker {
    bool isTerrestrial;
    Decoder decode;
    ChannelTables* tables;
    ChannelVerdict* verdict;
    std::vector<CommentedDeclaration> commented;

    void Seen(const LineEvent& event);
    void Unterminated(const LineReader& r, LineVerdict* line);
    void Read(const LineEvent& event, LineVerdict* line);
    void Row(const LineEvent& event, LineVerdict* line);
    void Declaration(const LineEvent& event, LineVerdict* line);
    void Number(LineVerdict* line, const char* what, const char* token, bool hex = false);
    void Drop(LineVerdict* line, const char* reason, const std::string& message);
};

void Checker::Seen(const LineEvent& event)
{
    LineVerdict line;
    line.line = event.lineNumber;
    if (event.fate == kLineUnterminated)
        Unterminated(*event.reader, &line);
    else
        Read(event, &line);
    // What was dropped or disabled is not also "not taken as written".
    if (line.fate == "dropped")
        ++verdict->dropped;
    else if (line.fate == "disabled")
        ++verdict->disabled;
    else if (!line.problems.empty())
        ++verdict->changed;
    verdict->lines.push_back(line);
}

// The reader holds the text after the last line end, not split into tokens.
void Checker::Unterminated(const LineReader& r, LineVerdict* line)
{
    const char* comment = static_cast<const char*>(memchr(r.line, ';', r.lineLength));
    line->text = decode(std::string(r.line, comment ? comment - r.line : r.lineLength));
    Drop(line, "no_line_end", "no line end after the last line, so the plug-in ignores it; end it with a line break");
}

void Checker::Read(const LineEvent& event, LineVerdict* line)
{
    const LineReader& r = *event.reader;
    for (int32_t i = 0; i < r.tokenCount; ++i)
        line->text += (i ? " " : "") + decode(r.tokens[i]);
    if (r.tooLong && r.lineLength == kMaxLineLength)
        line->problems.push_back({"line_cut", "the line is longer than 255 bytes: the rest is ignored"});
    if (event.lineNumber == 1 && strncmp(r.tokens[0], "\xEF\xBB\xBF", 3) == 0)
        line->problems.push_back({"bom", "the byte-order mark at the start of the file is read as part of \"" +
                                             line->text.substr(0, line->text.find(' ')) + "\""});
    switch (event.fate) {
    case kLineDeclared:
    case kLineUnknownKeyword:
        Declaration(event, line);
        break;
    case kLineNegative:
        Drop(line, "negative", std::string("the space number ") + r.tokens[1] + " is negative");
        break;
    case kLineTooFewTokens:
        if (r.tokens[0][0] == '$')
            Drop(line, "too_few_tokens", "a band declaration needs its space number after the keyword");
        else if (r.tokenCount == 3)
            Drop(line, "ts_id_missing", "a satellite row needs its TS ID as the fourth token");
        else
            Drop(line, "too_few_tokens",
                 isTerrestrial ? "a channel row needs a name, a space number and a PT channel"
                               : "a channel row needs a name, a space number, a PT channel and a TS ID");
        break;
    default:
        Row(event, line);
        break;
    }
}

void Checker::Declaration(const LineEvent& event, LineVerdict* line)
{
    const char* keyword = event.reader->tokens[0];
    if (event.fate == kLineUnknownKeyword) {
        std::string hint = "the keywords are $UHF, $CATV, $BS and $CS110, in capitals";
        if (strcmp(keyword, "$CS") == 0 && event.reader->tokenCount > 1 && strcmp(event.reader->tokens[1], "110") == 0)
            hint = "write $CS110 without a blank";
        Drop(line, "unknown_keyword", decode(keyword) + " is not a band keyword (" + hint + ")");
        return;
    }
    Number(line, "space number", event.reader->tokens[1]);
    line->fate = "declared";
    line->band = event.band;
    line->space = *tables->Setup().bandSpace[event.band];
    line->message = std::string(kBandNames[event.band]) + " is space " + std::to_string(line->space);
    int32_t table = TableForSpace(tables->Setup(), static_cast<uint32_t>(line->space));
    if (table != TableOfBand(event.band)) {
        line->problems.push_back({"shared_space", "space " + std::to_string(line->space) +
                                                      " already selects the other table, which wins: rows of space " +
                                                      std::to_string(line->space) + " do not go to " +
                                                      kBandNames[event.band]});
    }
}

void Checker::Row(const LineEvent& event, LineVerdict* line)
{
    const LineReader& r = *event.reader;
    Number(line, "space number", r.tokens[1]);
    if (event.fate == kLineNoTable) {
        int32_t space = ReadNumber(r.tokens[1]);
        for (auto c = commented.rbegin(); c != commented.rend(); ++c) {
            if (c->line < line->line && c->space == space) {
                line->fate = "disabled";
                line->message = std::string(kBandNames[c->band]) + " (space " + std::to_string(space) +
                                ") is commented out on line " + std::to_string(c->line) + "; remove the \";\" before " +
                                g_bandKeywords[c->band] + " there to enable it";
                line->problems.clear();
                return;
            }
        }
        Drop(line, "no_band", std::string("no band is declared as space ") + std::to_string(ReadNumber(r.tokens[1])) +
                                  " before this line; declarations must come before their rows");
        return;
    }
    if (event.fate == kLineTableFull) {
        Drop(line, "table_full", std::string("the ") + SpaceName(isTerrestrial, event.table) +
                                     " table already holds 64 channels");
        return;
    }
    line->fate = "kept";
    const ChannelEntry& entry = tables->table[event.table].entries[event.index];
    line->table = event.table;
    line->channel = event.index;
    line->ptChannel = entry.ptChannel;
    Number(line, "PT channel", r.tokens[2]);
    int32_t ptWritten = ReadNumber(r.tokens[2]);
    if (ptWritten != entry.ptChannel)
        line->problems.push_back({"out_of_range", "PT channel " + std::to_string(ptWritten) + " is stored as " +
                                                      std::to_string(entry.ptChannel) + " (0 to 255)"});
    if (r.tokenCount > 3) {
        line->tsId = entry.tsId;
        Number(line, "TS ID", r.tokens[3], true);
        int32_t tsWritten = ReadNumber(r.tokens[3]);
        if (tsWritten != entry.tsId)
            line->problems.push_back({"out_of_range", "TS ID " + decode(r.tokens[3]) + " is stored as " +
                                                          Hex4(entry.tsId) + " (0x0000 to 0xFFFF)"});
    }
    if (r.tokenCount > 4)
        line->problems.push_back({"extra_tokens", std::to_string(r.tokenCount - 4) +
                                                      " token(s) after the TS ID are ignored"});
    std::string name = decode(NameText(entry.name));
    line->name = FirstCharacters(name, kHostNameLength);
    if (entry.name == nullptr)
        line->problems.push_back({"no_name", "no room is left for names (8,192 bytes): hosts get an empty name"});
    else if (CharacterCount(name) > kHostNameLength)
        line->problems.push_back({"name_cut", "the name has " + std::to_string(CharacterCount(name)) +
                                                  " characters: hosts get its first 31, \"" + line->name + "\""});
}

void Checker::Number(LineVerdict* line, const char* what, const char* token, bool hex)
{
    const char* digits = token + (token[0] == '-' || token[0] == '+');
    bool octal = digits[0] == '0' && digits[1] >= '0' && digits[1] <= '9';
    int32_t value = ReadNumber(token);
    if (IsWholeNumber(token)) {
        // To a reader 010 is ten; to the rules, as to strtol, it is eight.
        if (octal && strtol(token, nullptr, 10) != value)
            line->problems.push_back({"octal", std::string("the ") + what + " " + token +
                                                   " begins with 0, so it is read as octal: " +
                                                   std::to_string(value) + " (leave out the leading 0 for decimal " +
                                                   std::to_string(strtol(token, nullptr, 10)) + ")"});
        return;
    }
    std::string message = std::string("the ") + what + " \"" + decode(token) + "\" is not a number: read as " +
                          (hex && value >= 0 ? Hex4(static_cast<uint32_t>(value)) : std::to_string(value));
    if (octal && strpbrk(digits, "89") != nullptr)
        message += " (a leading 0 makes it octal, where 8 and 9 are no digits; leave out the 0)";
    if (strcmp(what, "space number") == 0 && token[0] != '-' && (token[0] < '0' || token[0] > '9'))
        message += " (a blank inside a name splits it and shifts the tokens after it)";
    line->problems.push_back({"not_a_number", message});
}

void Checker::Drop(LineVerdict* line, const char* reason, const std::string& message)
{
    line->fate = "dropped";
    line->reason = reason;
    line->message = message;
}

// Kept rows learn their host space from the final declarations.
void PlaceKeptRows(ChannelVerdict* verdict, bool isTerrestrial)
{
    ChannelTables& tables = *verdict->tables;
    int32_t hostSpace[2] = {tables.HostSpace(0), tables.HostSpace(1)};
    for (LineVerdict& line : verdict->lines) {
        if (line.fate != "kept")
            continue;
        int32_t table = line.table;
        line.space = hostSpace[table];
        std::string where = line.space < 0 ? SpaceName(isTerrestrial, table) + " (not listed)"
                                           : "space " + std::to_string(line.space) + " (" +
                                                 SpaceName(isTerrestrial, table) + ")";
        line.message = where + " channel " + std::to_string(line.channel) + ": \"" + line.name + "\", PT channel " +
                       std::to_string(line.ptChannel) + (line.tsId >= 0 ? ", TS ID " + Hex4(line.tsId) : "");
        if (line.space < 0) {
            if (line.problems.empty())
                ++verdict->changed;
            line.problems.push_back({"not_listed", "hosts list spaces from 0 up to the first one that is missing, "
                                                   "and no listed space selects this row's table"});
        }
    }
}

void AddEncodingWarnings(ChannelVerdict* verdict, const std::string& bytes)
{
    if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 || bytes.compare(0, 2, "\xFF\xFE") == 0 ||
        bytes.compare(0, 2, "\xFE\xFF") == 0)
        verdict->warnings.push_back({"bom", "the file begins with a byte-order mark; save it without one"});
    if (verdict->encoding == "utf-16")
        verdict->warnings.push_back({"utf-16", "the file is UTF-16 text; the plug-in reads CP932 (Shift_JIS)"});
    if (verdict->encoding == "utf-8")
        verdict->warnings.push_back({"utf-8", "the file looks like UTF-8 text; the plug-in reads CP932 "
                                              "(Shift_JIS), so names beyond ASCII show garbled"});
    if (!verdict->declaresBand)
        verdict->warnings.push_back({"no_band", bytes.empty() ? "the file is empty: it declares no band, and the "
                                                                "plug-in refuses to load"
                                                              : "no band is declared: the plug-in refuses to load"});
}

struct TextSource {
    const std::string* bytes;
    size_t at;

    static int32_t Read(void* context, uint8_t* dest, int32_t size)
    {
        TextSource* s = static_cast<TextSource*>(context);
        size_t count = s->bytes->size() - s->at;
        if (count > static_cast<size_t>(size))
            count = static_cast<size_t>(size);
        memcpy(dest, s->bytes->data() + s->at, count);
        s->at += count;
        return static_cast<int32_t>(count);
    }
};

}  // namespace

uint32_t ChannelTables::ListedSpaces()
{
    uint32_t count = 0;
    while (count < 0x7FFFFFFF && TableForSpace(Setup(), count) >= 0)
        ++count;
    return count;
}

int32_t ChannelTables::HostSpace(int32_t t)
{
    uint32_t listed = ListedSpaces();
    for (uint32_t s = 0; s < listed; ++s) {
        if (TableForSpace(Setup(), s) == t)
            return static_cast<int32_t>(s);
    }
    return -1;
}

std::string SpaceName(bool isTerrestrial, int32_t table)
{
    return ToUtf8((isTerrestrial ? g_terrestrialSpaceNames : g_satelliteSpaceNames)[table]);
}

ChannelVerdict CheckChannelText(const std::string& bytes, bool isTerrestrial, Decoder decode)
{
    ChannelVerdict verdict;
    verdict.encoding = DetectEncoding(bytes);
    verdict.tables.reset(new ChannelTables);
    // The driver's reader, read in the driver's chunks.
    std::unique_ptr<LineReader> reader(new LineReader());
    TextSource source = {&bytes, 0};
    reader->chunkSize = kChunkSize;
    reader->file = {TextSource::Read, &source};
    Checker checker = {isTerrestrial, decode, verdict.tables.get(), &verdict, FindCommentedDeclarations(bytes)};
    LineObserver observer = {[](void* c, const LineEvent& e) { static_cast<Checker*>(c)->Seen(e); }, &checker};
    ParseChannelText(reader.get(), isTerrestrial, verdict.tables->Setup(), &observer);
    for (int32_t space : verdict.tables->space)
        verdict.declaresBand = verdict.declaresBand || space != -1;
    PlaceKeptRows(&verdict, isTerrestrial);
    AddEncodingWarnings(&verdict, bytes);
    return verdict;
}
