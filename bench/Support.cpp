#include "bench/Bench.h"

#include <math.h>
#include <stdio.h>

#include <algorithm>

const char kNoAutoMakeSettings[] = "[SET]\r\nAutoMake=0\r\n";

double Seconds()
{
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

bool LoadPlugin(const std::wstring& path, Plugin* plugin)
{
    typedef IBonDriver*(__cdecl * Create)(void);
    plugin->driver = nullptr;
    plugin->module = LoadLibraryW(path.c_str());
    if (plugin->module == nullptr)
        return false;
    Create create = reinterpret_cast<Create>(
        reinterpret_cast<void*>(GetProcAddress(plugin->module, "CreateBonDriver")));
    // The instance is an IBonDriver2 at the same address: single inheritance.
    if (create != nullptr)
        plugin->driver = static_cast<IBonDriver2*>(create());
    if (plugin->driver == nullptr) {
        FreeLibrary(plugin->module);
        plugin->module = nullptr;
        return false;
    }
    return true;
}

void UnloadPlugin(Plugin* plugin)
{
    if (plugin->driver != nullptr)
        plugin->driver->Release();
    if (plugin->module != nullptr)
        FreeLibrary(plugin->module);
    plugin->driver = nullptr;
    plugin->module = nullptr;
}

int32_t LoadAndTune(const Standin& board, const Folder& folder, const wchar_t* fileName,
                    Plugin* plugin)
{
    if (!folder.Write(L"Zendrel-ST.ini", kNoAutoMakeSettings) || folder.AddPlugin(fileName).empty() ||
        !LoadPlugin(folder.Path(fileName), plugin)) {
        printf("  could not load a copy of the plug-in as %ls\n", fileName);
        return -1;
    }
    EptSimTuner tuner = {};
    if (!plugin->driver->OpenTuner() || !plugin->driver->SetChannel(0, 0) ||
        board.EptSimGetTuner(plugin->driver->GetTunerName(), &tuner) != 0) {
        printf("  %ls could not open and tune space 0 channel 0\n", fileName);
        UnloadPlugin(plugin);
        return -1;
    }
    return tuner.handle;
}

double Median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    size_t half = values.size() / 2;
    return values.size() % 2 ? values[half] : (values[half - 1] + values[half]) / 2;
}

double Percentile(std::vector<double> values, double fraction)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    size_t rank = static_cast<size_t>(ceil(fraction * values.size()));
    rank = std::min(std::max(rank, static_cast<size_t>(1)), values.size());
    return values[rank - 1];
}

double Max(const std::vector<double>& values)
{
    return values.empty() ? 0 : *std::max_element(values.begin(), values.end());
}

double Min(const std::vector<double>& values)
{
    return values.empty() ? 0 : *std::min_element(values.begin(), values.end());
}
