// Load time: LoadLibraryW of a copy of the plug-in (its instance is built in
// the attach notification, reading the side files), CreateBonDriver, Release
// and FreeLibrary, timed over many loads of the same copy. Every folder holds
// settings with AutoMake=0, so nothing is written at release and each load
// finds the folder as it was made.
#include "bench/Bench.h"

#include <stdio.h>

namespace {

const int kLoads = 200;
const int kRowsPerTable = 64;  // the most a table keeps
const int kNameBytes = 240;

struct LoadCase {
    const char* label;
    const wchar_t* plugin;
    const wchar_t* channelFile;  // null = none
    bool terrestrial;
};

const LoadCase kCases[] = {
    {"terrestrial, largest channel file", L"Zendrel-T.dll", L"Zendrel-T.SetCh.txt", true},
    {"terrestrial, no channel file", L"Zendrel-T.dll", nullptr, true},
    {"satellite, largest channel file", L"Zendrel-S.dll", L"Zendrel-S.SetCh.txt", false},
    {"satellite, no channel file", L"Zendrel-S.dll", nullptr, false},
};

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

bool RunCase(const Standin& board, const LoadCase& c)
{
    board.EptSimReset();
    board.EptSimSetLogging(0);
    Folder folder;
    std::string channelText = c.channelFile ? LargestChannelFile(c.terrestrial) : std::string();
    if (!folder.Write(L"Zendrel-ST.ini", kNoAutoMakeSettings) || folder.AddPlugin(c.plugin).empty() ||
        (c.channelFile != nullptr &&
         (channelText.empty() || !folder.Write(c.channelFile, channelText)))) {
        printf("   %-34s could not prepare its folder\n", c.label);
        return false;
    }
    std::wstring path = folder.Path(c.plugin);

    // One untimed load first: it warms the file cache and shows what the
    // copy made of the folder.
    Plugin plugin = {};
    if (!LoadPlugin(path, &plugin)) {
        printf("   %-34s the copy does not load\n", c.label);
        return false;
    }
    int first = ChannelCount(plugin.driver, 0);
    int second = ChannelCount(plugin.driver, 1);
    UnloadPlugin(&plugin);

    std::vector<double> total;
    std::vector<double> load;
    std::vector<double> unload;
    for (int i = 0; i < kLoads; ++i) {
        double start = Seconds();
        bool loaded = LoadPlugin(path, &plugin);
        double middle = Seconds();
        UnloadPlugin(&plugin);
        double end = Seconds();
        if (!loaded) {
            printf("   %-34s load %d failed\n", c.label, i + 1);
            return false;
        }
        total.push_back((end - start) * 1e3);
        load.push_back((middle - start) * 1e3);
        unload.push_back((end - middle) * 1e3);
    }
    char channels[32];
    snprintf(channels, sizeof channels, "%d+%d", first, second);
    printf("   %-34s %-8s   %8.3f   %8.3f   %8.3f   %8.3f\n", c.label, channels, Median(total),
           Percentile(total, 0.9), Median(load), Median(unload));
    return true;
}

}  // namespace

bool RunLoadTime(const Standin& board)
{
    printf("2. Load time\n"
           "   LoadLibraryW + construction + CreateBonDriver, then Release + FreeLibrary,\n"
           "   of one copy %d times; times in ms: median and p90 of the whole, and the\n"
           "   medians of its two halves (load: up to CreateBonDriver; unload: the rest).\n"
           "   \"channels\": what a host lists in spaces 0 and 1. \"largest\": 64 + 64 rows\n"
           "   with %d-byte names. \"no channel file\": the terrestrial copy builds its\n"
           "   tables from the board's list (cable channels stay off), the satellite\n"
           "   copy takes its built-in list.\n\n",
           kLoads, kNameBytes);
    printf("   %-34s %-8s   %8s   %8s   %8s   %8s\n", "case", "channels", "median", "p90",
           "load", "unload");
    bool ran = true;
    for (const LoadCase& c : kCases)
        ran = RunCase(board, c) && ran;
    printf("\n");
    return ran;
}
