// Load time: LoadLibraryW of a copy (the plug-in builds its instance in the
// attach notification, reading the side files), CreateBonDriver, Release and
// FreeLibrary, against two floors of the same shape built by this benchmark:
// one with the C runtime's start-up code, one with none. All cases take turns
// cycle by cycle, so that every one sees the same load on the machine. Every
// plug-in folder holds settings with AutoMake=0, so nothing is written at
// release and each load finds its folder as it was made.
//
// Then one copy is loaded 10,000 times in this process, and what the process
// holds is counted before and after.
#include "bench/Bench.h"

#include <stdio.h>

#include "testsupport/ProcessResources.h"

namespace {

const int kRounds = 300;
const int kChurnCycles = 10000;
const double kGoalRatio = 2.2;  // against the floor without start-up code
const int kRowsPerTable = 64;   // the most a table keeps
const int kNameBytes = 240;

struct LoadCase {
    const char* label;
    const wchar_t* dll;          // built DLL beside this program
    const wchar_t* copyName;     // its name in the case's folder
    const wchar_t* channelFile;  // null = none
    bool terrestrial;
    bool plugin;
};

const LoadCase kCases[] = {
    {"floor without start-up code", L"zendrel-floor-bare.dll", L"Floor.dll", nullptr, true, false},
    {"floor with C start-up code", L"zendrel-floor.dll", L"Floor.dll", nullptr, true, false},
    {"terrestrial, largest channel file", L"Zendrel.dll", L"Zendrel-T.dll", L"Zendrel-T.SetCh.txt", true, true},
    {"terrestrial, no channel file", L"Zendrel.dll", L"Zendrel-T.dll", nullptr, true, true},
    {"satellite, largest channel file", L"Zendrel.dll", L"Zendrel-S.dll", L"Zendrel-S.SetCh.txt", false, true},
    {"satellite, no channel file", L"Zendrel.dll", L"Zendrel-S.dll", nullptr, false, true},
};
const int kCaseCount = sizeof kCases / sizeof kCases[0];
const int kBareFloor = 0;
const int kStartupFloor = 1;

// A kNameBytes-byte code page 932 name: the row number in four digits, then
// double-byte characters.
std::string LongName(int row)
{
    // 地デジチャンネル
    const wchar_t kFill[] = L"\u5730\u30C7\u30B8\u30C1\u30E3\u30F3\u30CD\u30EB";
    const int kFillLength = sizeof kFill / sizeof kFill[0] - 1;
    std::wstring wide;
    while (wide.size() < static_cast<size_t>(kNameBytes - 4) / 2)
        wide += kFill[wide.size() % kFillLength];
    char name[kNameBytes + 1];
    snprintf(name, sizeof name, "%04d", row);
    int n = WideCharToMultiByte(932, 0, wide.c_str(), static_cast<int>(wide.size()), name + 4,
                                kNameBytes - 4, nullptr, nullptr);
    // Empty when the platform cannot convert: the file would not be the largest.
    return n == kNameBytes - 4 ? std::string(name, kNameBytes) : std::string();
}

// The largest channel file that the plug-in takes whole: both tables full, every
// name kNameBytes long. Most names find no room in the name pool; their rows
// still count. Lines stay below the 255-byte limit. Empty when a name cannot
// be made.
std::string LargestChannelFile(bool terrestrial)
{
    std::string text = terrestrial ? "$UHF\t0\r\n$CATV\t1\r\n" : "$BS\t0\r\n$CS110\t1\r\n";
    for (int space = 0; space < 2; ++space) {
        for (int row = 0; row < kRowsPerTable; ++row) {
            char rest[64];
            if (terrestrial)
                snprintf(rest, sizeof rest, "\t%d\t%d\r\n", space, space * 50 + row % 50);
            else
                snprintf(rest, sizeof rest, "\t%d\t%d\t0x%04X\r\n", space, row % 36,
                         0x4010 + row);
            std::string name = LongName(space * kRowsPerTable + row);
            if (name.empty())
                return std::string();
            text += name + rest;
        }
    }
    return text;
}

// Channels of a tuning space as the host lists them: up to the first null.
int ChannelCount(IBonDriver2* driver, DWORD space)
{
    int count = 0;
    while (count < 1000 && driver->EnumChannelName(space, count) != nullptr)
        ++count;
    return count;
}

// One load cycle of a copy; the seconds it took, or -1 when the load failed.
// A floor hands out no instance, so only the plug-in is released.
double LoadCycle(const std::wstring& path, bool plugin)
{
    double start = Seconds();
    HMODULE module = LoadLibraryW(path.c_str());
    if (module == nullptr)
        return -1;
    typedef IBonDriver*(__cdecl * Create)(void);
    Create create = reinterpret_cast<Create>(reinterpret_cast<void*>(GetProcAddress(module, "CreateBonDriver")));
    IBonDriver* driver = create != nullptr ? create() : nullptr;
    if (driver != nullptr)
        driver->Release();
    FreeLibrary(module);
    double seconds = Seconds() - start;
    return (plugin && driver == nullptr) ? -1 : seconds;
}

struct Prepared {
    Folder folder;
    std::wstring path;
    std::string channels;  // what a host lists in spaces 0 and 1, "" for a floor
    std::vector<double> ms;
};

bool Prepare(const LoadCase& c, Prepared* p)
{
    std::string channelText = c.channelFile ? LargestChannelFile(c.terrestrial) : std::string();
    std::wstring source = BinDirectory() + c.dll;
    p->path = p->folder.Path(c.copyName);
    if (!p->folder.Write(L"Zendrel-ST.ini", kNoAutoMakeSettings) ||
        !CopyFileW(source.c_str(), p->path.c_str(), FALSE) ||
        (c.channelFile != nullptr && (channelText.empty() || !p->folder.Write(c.channelFile, channelText)))) {
        printf("   %-34s could not prepare its folder\n", c.label);
        return false;
    }
    if (!c.plugin)
        return true;
    // One load to see what the copy makes of its folder.
    Plugin plugin = {};
    if (!LoadPlugin(p->path, &plugin)) {
        printf("   %-34s the copy does not load\n", c.label);
        return false;
    }
    char channels[32];
    snprintf(channels, sizeof channels, "%d+%d", ChannelCount(plugin.driver, 0), ChannelCount(plugin.driver, 1));
    p->channels = channels;
    UnloadPlugin(&plugin);
    return true;
}

bool RunInterleaved()
{
    Prepared prepared[kCaseCount];
    for (int i = 0; i < kCaseCount; ++i) {
        if (!Prepare(kCases[i], &prepared[i]))
            return false;
    }
    // Untimed: warms the file cache for every case.
    for (int i = 0; i < kCaseCount; ++i)
        LoadCycle(prepared[i].path, kCases[i].plugin);
    for (int round = 0; round < kRounds; ++round) {
        // Each round starts with another case, so no case always follows the same one.
        for (int k = 0; k < kCaseCount; ++k) {
            int i = (round + k) % kCaseCount;
            double seconds = LoadCycle(prepared[i].path, kCases[i].plugin);
            if (seconds < 0) {
                printf("   %-34s load failed in round %d\n", kCases[i].label, round + 1);
                return false;
            }
            prepared[i].ms.push_back(seconds * 1e3);
        }
    }
    double bare = Median(prepared[kBareFloor].ms);
    double startup = Median(prepared[kStartupFloor].ms);
    printf("   %-34s %-8s   %8s   %8s   %8s   %8s   goal <= %.1f x bare\n", "case", "channels", "median",
           "p90", "x bare", "x start-up", kGoalRatio);
    for (int i = 0; i < kCaseCount; ++i) {
        double median = Median(prepared[i].ms);
        double ratio = bare > 0 ? median / bare : 0;
        printf("   %-34s %-8s   %8.3f   %8.3f   %8.2f   %10.2f   %s\n", kCases[i].label,
               prepared[i].channels.c_str(), median, Percentile(prepared[i].ms, 0.9), ratio,
               startup > 0 ? median / startup : 0,
               !kCases[i].plugin ? "" : (ratio <= kGoalRatio ? "met" : "NOT met"));
    }
    return true;
}

bool RunChurn()
{
    Folder folder;
    std::wstring path = folder.AddPlugin(L"Zendrel-S.dll");
    if (path.empty() || !folder.Write(L"Zendrel-ST.ini", kNoAutoMakeSettings)) {
        printf("   could not prepare the folder\n");
        return false;
    }
    ProcessResources before = MeasureProcessResources();
    double start = Seconds();
    for (int i = 0; i < kChurnCycles; ++i) {
        if (LoadCycle(path, true) < 0) {
            printf("   load %d of %d failed\n", i + 1, kChurnCycles);
            return false;
        }
    }
    double seconds = Seconds() - start;
    ProcessResources after = MeasureProcessResources();
    printf("   %d load cycles of one copy in %.1f s, all loaded\n", kChurnCycles, seconds);
    printf("   %-22s %10s %10s\n", "", "start", "end");
    printf("   %-22s %10d %10d\n", "TLS slots in use", before.tlsSlotsInUse, after.tlsSlotsInUse);
    printf("   %-22s %10d %10d\n", "handles", before.handles, after.handles);
    printf("   %-22s %10.1f %10.1f\n", "committed private MB", before.committedBytes / 1e6,
           after.committedBytes / 1e6);
    return true;
}

}  // namespace

bool RunLoadTime(const Standin& board)
{
    printf("2. Load time\n"
           "   LoadLibraryW + construction + CreateBonDriver + Release + FreeLibrary, in ms,\n"
           "   %d rounds; in each round every case takes one cycle, in turn. The floors are\n"
           "   DLLs of the plug-in's shape (export, imports, one board call at attach) that\n"
           "   do nothing else, with and without the C runtime's start-up code.\n"
           "   \"channels\": what a host lists in spaces 0 and 1. \"largest\": 64 + 64 rows\n"
           "   with %d-byte names. \"no channel file\": the terrestrial copy builds its\n"
           "   tables from the board's list (cable channels stay off), the satellite\n"
           "   copy takes its built-in list.\n\n",
           kRounds, kNameBytes);
    board.EptSimReset();
    board.EptSimSetLogging(0);
    bool ran = RunInterleaved();
    printf("\n3. Load churn\n");
    board.EptSimReset();
    board.EptSimSetLogging(0);
    ran = RunChurn() && ran;
    printf("\n");
    return ran;
}
