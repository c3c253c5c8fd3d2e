#include "bench/Bench.h"

#include <math.h>
#include <stdio.h>

#include <algorithm>

const char kNoAutoMakeSettings[] = "[SET]\r\nAutoMake=0\r\n";

std::wstring ProgramFolder()
{
    wchar_t path[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring full(path, n < MAX_PATH ? n : 0);
    return full.substr(0, full.rfind(L'\\') + 1);
}

const Board* LoadBoard()
{
    static Board board;
    HMODULE module = LoadLibraryW((ProgramFolder() + L"standin\\EarthPtDll.dll").c_str());
    if (module == nullptr)
        return nullptr;
    bool all = true;
#define BENCH_BOARD_RESOLVE(name)                                                             \
    board.name = reinterpret_cast<decltype(board.name)>(                                      \
        reinterpret_cast<void*>(GetProcAddress(module, #name)));                              \
    all = all && board.name != nullptr;
    BENCH_BOARD_CALLS(BENCH_BOARD_RESOLVE)
#undef BENCH_BOARD_RESOLVE
    return all ? &board : nullptr;
}

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

TempFolder::TempFolder()
{
    static int counter = 0;
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    wchar_t name[64];
    swprintf(name, 64, L"zendrel-bench-%lu-%d", GetCurrentProcessId(), ++counter);
    m_path = std::wstring(temp) + name;
    CreateDirectoryW(m_path.c_str(), nullptr);
    m_path += L"\\";
}

TempFolder::~TempFolder()
{
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW(Path(L"*").c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                DeleteFileW(Path(found.cFileName).c_str());
        } while (FindNextFileW(find, &found));
        FindClose(find);
    }
    RemoveDirectoryW(m_path.substr(0, m_path.size() - 1).c_str());
}

bool TempFolder::Write(const wchar_t* name, const std::string& bytes) const
{
    HANDLE file = CreateFileW(Path(name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    BOOL ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == bytes.size();
}

bool TempFolder::AddPlugin(const wchar_t* fileName) const
{
    return CopyFileW((ProgramFolder() + L"Zendrel.dll").c_str(), Path(fileName).c_str(), FALSE) != 0;
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

int32_t LoadAndTune(const Board& board, const TempFolder& folder, const wchar_t* fileName,
                    Plugin* plugin)
{
    if (!folder.Write(L"Zendrel-ST.ini", kNoAutoMakeSettings) || !folder.AddPlugin(fileName) ||
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
