#include "standin/Setup.h"

#include <stdlib.h>
#include <string.h>

#include "standin/CallLog.h"
#include "standin/SimState.h"

namespace {

const wchar_t kSetupFileName[] = L"EarthPtDll-standin.ini";
const uint32_t kMaxSetupBytes = 1024 * 1024;
const int kMaxTokens = 8;

HINSTANCE g_module = nullptr;

enum Section { kNone, kBoard, kTerrestrialChannels, kFeeds, kFaults, kLog, kUnknown };

struct Reader {
    wchar_t folder[MAX_PATH];  // of the set-up file, with its backslash
    Section section;
    bool channelsReplaced;
    int32_t unused;
};

char* Trim(char* s)
{
    while (*s == ' ' || *s == '\t')
        ++s;
    size_t n = strlen(s);
    while (n > 0 && (s[n - 1] == ' ' || s[n - 1] == '\t' || s[n - 1] == '\r'))
        s[--n] = '\0';
    return s;
}

// Splits at blanks, in place; returns the count of tokens, -1 when there are
// more than kMaxTokens.
int Split(char* s, char* tokens[kMaxTokens])
{
    int n = 0;
    while (*s != '\0') {
        if (*s == ' ' || *s == '\t') {
            *s++ = '\0';
            continue;
        }
        if (n == kMaxTokens)
            return -1;
        tokens[n++] = s;
        while (*s != '\0' && *s != ' ' && *s != '\t')
            ++s;
    }
    return n;
}

bool Number(const char* text, uint32_t* value)
{
    char* end = nullptr;
    unsigned long v = strtoul(text, &end, 0);
    if (end == text || *end != '\0' || text[0] == '-')
        return false;
    *value = static_cast<uint32_t>(v);
    return true;
}

// A path of the file, taken relative to the set-up file's folder unless it
// is absolute.
bool FilePath(const Reader& r, const char* text, wchar_t* path)
{
    wchar_t given[MAX_PATH];
    if (MultiByteToWideChar(CP_ACP, 0, text, -1, given, MAX_PATH) == 0)
        return false;
    bool absolute = given[0] == L'\\' || given[0] == L'/' || (given[0] != L'\0' && given[1] == L':');
    if (absolute)
        return wcscpy(path, given) != nullptr;
    if (wcslen(r.folder) + wcslen(given) >= MAX_PATH)
        return false;
    wcscpy(path, r.folder);
    wcscat(path, given);
    return true;
}

bool NoSignalList(bool satellite, char* value)
{
    char* tokens[kMaxTokens];
    int n = Split(value, tokens);
    uint32_t pt = 0;
    for (int i = 0; i < n; ++i) {
        if (!Number(tokens[i], &pt) || pt >= kMaxChannels)
            return false;
        g_sim.noSignal[satellite ? 1 : 0][pt / 8] |= static_cast<uint8_t>(1 << (pt % 8));
    }
    return n > 0;
}

bool BoardKey(const char* key, char* value)
{
    uint32_t v = 0;
    if (strcmp(key, "terrestrial no signal") == 0)
        return NoSignalList(false, value);
    if (strcmp(key, "satellite no signal") == 0)
        return NoSignalList(true, value);
    if (!Number(value, &v))
        return false;
    if (strcmp(key, "boards") == 0 && v <= kMaxBoards) {
        g_sim.devCount = g_sim.boards = static_cast<int32_t>(v);
    } else if (strcmp(key, "lock ms") == 0 && v <= 3600000) {
        g_sim.lockMicros = v * 1000;
    } else if (strcmp(key, "terrestrial rate") == 0 && v != 0) {
        g_sim.terrestrialRate = v;
    } else if (strcmp(key, "satellite rate") == 0 && v != 0) {
        g_sim.satelliteRate = v;
    } else {
        return false;
    }
    return true;
}

void ChannelLine(Reader& r, const char* line)
{
    if (!r.channelsReplaced) {
        memset(g_sim.channels, 0, sizeof g_sim.channels);
        g_sim.channelCount = 0;
        r.channelsReplaced = true;
    }
    if (g_sim.channelCount >= kMaxChannels) {
        ++r.unused;
        return;
    }
    strncpy(g_sim.channels[g_sim.channelCount++], line, kChannelNameBytes - 1);
}

// "terrestrial PT = FILE [RATE]" or "satellite PT TS-ID = FILE [RATE]".
bool FeedKey(const Reader& r, char* key, char* value)
{
    char* k[kMaxTokens];
    int kn = Split(key, k);
    bool satellite = kn == 3 && strcmp(k[0], "satellite") == 0;
    uint32_t pt = 0;
    uint32_t tsId = 0;
    if (!(satellite || (kn == 2 && strcmp(k[0], "terrestrial") == 0)) || !Number(k[1], &pt) ||
        (satellite && !Number(k[2], &tsId)))
        return false;
    // The rate is a last word that is a number; the file name may hold blanks.
    uint32_t rate = 0;
    char* lastBlank = strrchr(value, ' ');
    if (lastBlank != nullptr && Number(lastBlank + 1, &rate))
        *lastBlank = '\0';
    wchar_t path[MAX_PATH];
    return FilePath(r, Trim(value), path) && SimSetFeed(satellite, pt, tsId, path, rate) == 0;
}

// "COUNT [every N] [after N]"
bool PacketFault(int kind, char* value)
{
    char* t[kMaxTokens];
    int n = Split(value, t);
    FaultPlan plan = {0, 1000, 1000};
    if (n < 1 || n % 2 == 0 || !Number(t[0], &plan.count))
        return false;
    for (int i = 1; i + 1 < n; i += 2) {
        uint32_t* field = strcmp(t[i], "every") == 0 ? &plan.every : strcmp(t[i], "after") == 0 ? &plan.after : nullptr;
        if (field == nullptr || !Number(t[i + 1], field))
            return false;
    }
    g_sim.faults[kind] = plan;
    return true;
}

bool FaultKey(const char* key, char* value)
{
    static const char* const kPacketFaultKeys[kPacketFaults] = {"lost packets", "lost bytes", "transport errors",
                                                                "scrambled"};
    for (int kind = 0; kind < kPacketFaults; ++kind) {
        if (strcmp(key, kPacketFaultKeys[kind]) == 0)
            return PacketFault(kind, value);
    }
    char* t[kMaxTokens];
    int n = Split(value, t);
    uint32_t a = 0;
    uint32_t b = 0;
    if (strcmp(key, "signal drop") == 0) {
        // "MS [after MS]"
        if (!(n == 1 || (n == 3 && strcmp(t[1], "after") == 0 && Number(t[2], &b))) || !Number(t[0], &a))
            return false;
        g_sim.dropMs = a;
        g_sim.dropAfterMs = b;
        return true;
    }
    if (strcmp(key, "slow call") == 0) {
        // "NAME MS [COUNT]"
        if (n < 2 || n > 3 || !Number(t[1], &a) || (n == 3 && !Number(t[2], &b)) ||
            strlen(t[0]) >= kCallNameBytes)
            return false;
        strcpy(g_sim.slowCall, t[0]);
        g_sim.slowMs = a;
        g_sim.slowRemaining = b == 0 ? 0xFFFFFFFFu : b;
        return true;
    }
    if (strcmp(key, "removed after") == 0 && n == 1 && Number(t[0], &a)) {
        g_sim.removedMicros = SimNowMicros() + a * 1000ull;
        return true;
    }
    return false;
}

bool LogKey(const Reader& r, const char* key, char* value)
{
    uint32_t v = 0;
    if (strcmp(key, "calls") == 0 && (strcmp(value, "on") == 0 || strcmp(value, "off") == 0)) {
        CallLogSetEnabled(strcmp(value, "on") == 0);
        return true;
    }
    if (strcmp(key, "entries") == 0 && Number(value, &v) && v > 0)
        return CallLogSetCapacity(v);
    wchar_t path[MAX_PATH];
    if (strcmp(key, "file") == 0 && FilePath(r, value, path)) {
        CallLogSetEnabled(true);
        return CallLogOpenFile(path);
    }
    return false;
}

void Line(Reader& r, char* line)
{
    // A comment starts at ';' or '#' at the start or after a blank, so that
    // names and paths may hold them.
    for (char* c = line; *c != '\0'; ++c) {
        if ((*c == ';' || *c == '#') && (c == line || c[-1] == ' ' || c[-1] == '\t')) {
            *c = '\0';
            break;
        }
    }
    line = Trim(line);
    if (*line == '\0')
        return;
    if (*line == '[') {
        static const char* const kSections[] = {"[board]", "[terrestrial channels]", "[feeds]", "[faults]", "[log]"};
        r.section = kUnknown;
        for (int i = 0; i < 5; ++i) {
            if (strcmp(line, kSections[i]) == 0)
                r.section = static_cast<Section>(kBoard + i);
        }
        if (r.section == kUnknown)
            ++r.unused;
        return;
    }
    if (r.section == kTerrestrialChannels) {
        ChannelLine(r, line);
        return;
    }
    char* equals = strchr(line, '=');
    bool used = false;
    if (equals != nullptr) {
        *equals = '\0';
        char* key = Trim(line);
        char* value = Trim(equals + 1);
        switch (r.section) {
        case kBoard: used = BoardKey(key, value); break;
        case kFeeds: used = FeedKey(r, key, value); break;
        case kFaults: used = FaultKey(key, value); break;
        case kLog: used = LogKey(r, key, value); break;
        default: break;
        }
    }
    if (!used)
        ++r.unused;
}

}  // namespace

void SetupRemember(HINSTANCE module)
{
    g_module = module;
}

void SetupLoadBesideModule(void)
{
    wchar_t path[MAX_PATH];
    DWORD n = GetModuleFileNameW(g_module, path, MAX_PATH);
    wchar_t* slash = n > 0 && n < MAX_PATH ? wcsrchr(path, L'\\') : nullptr;
    if (slash == nullptr || (slash + 1 - path) + wcslen(kSetupFileName) >= MAX_PATH)
        return;
    wcscpy(slash + 1, kSetupFileName);
    SetupLoad(path);
}

int32_t SetupLoad(const wchar_t* path)
{
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return -1;
    char* text = static_cast<char*>(VirtualAlloc(nullptr, kMaxSetupBytes + 1, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    DWORD size = 0;
    bool ok = text != nullptr && ReadFile(file, text, kMaxSetupBytes, &size, nullptr);
    CloseHandle(file);
    if (!ok) {
        if (text != nullptr)
            VirtualFree(text, 0, MEM_RELEASE);
        return -1;
    }
    text[size] = '\0';
    Reader r = {};
    r.section = kNone;
    wcsncpy(r.folder, path, MAX_PATH - 1);
    wchar_t* slash = wcsrchr(r.folder, L'\\');
    *(slash != nullptr ? slash + 1 : r.folder) = L'\0';
    for (char* line = text; line != nullptr;) {
        char* next = strchr(line, '\n');
        if (next != nullptr)
            *next++ = '\0';
        Line(r, line);
        line = next;
    }
    VirtualFree(text, 0, MEM_RELEASE);
    return r.unused;
}
