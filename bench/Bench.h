// What the benchmarks share: the stand-in board library's calls, a clock,
// fresh folders for copies of the plug-in, loading a copy as a host does, and
// the few statistics the report prints.
#pragma once

#include <windows.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "board/EarthPtDll.h"
#include "plugin/IBonDriver.h"
#include "standin/EptSim.h"

// The stand-in calls the benchmarks use. The stand-in is loaded by its path
// before any copy of the plug-in, whose import of EarthPtDll.dll then resolves
// to it.
#define BENCH_BOARD_CALLS(X)                                                                    \
    X(PtDllGetStreamData) X(EptSimReset) X(EptSimSetLogging) X(EptSimSetStreamMode)            \
    X(EptSimScheduleBytes) X(EptSimNowMicros) X(EptSimGetTuner)

struct Board {
#define BENCH_BOARD_MEMBER(name) decltype(&::name) name;
    BENCH_BOARD_CALLS(BENCH_BOARD_MEMBER)
#undef BENCH_BOARD_MEMBER
};

// standin\EarthPtDll.dll beside this program, or null when it or one of the
// calls above is missing.
const Board* LoadBoard();

// The folder of this program, ending with a backslash.
std::wstring ProgramFolder();

// QueryPerformanceCounter in seconds.
double Seconds();

// A fresh, empty folder under the temporary directory; its files and the
// folder itself go when the object goes.
class TempFolder
{
public:
    TempFolder();
    ~TempFolder();
    std::wstring Path(const wchar_t* name) const { return m_path + name; }
    bool Write(const wchar_t* name, const std::string& bytes) const;
    // Copies Zendrel.dll from beside this program under fileName.
    bool AddPlugin(const wchar_t* fileName) const;

private:
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    std::wstring m_path;  // ends with a backslash
};

// Settings that stop the plug-in from writing side files at release, so that
// every load of a copy finds the folder as the benchmark made it.
extern const char kNoAutoMakeSettings[];

// One loaded copy of the plug-in. Its instance is constructed in the loader's
// attach notification, inside LoadLibraryW.
struct Plugin {
    HMODULE module;
    IBonDriver2* driver;
};

// LoadLibraryW and CreateBonDriver; false when either gives nothing.
bool LoadPlugin(const std::wstring& path, Plugin* plugin);
// Release, then FreeLibrary.
void UnloadPlugin(Plugin* plugin);

// Loads a copy named fileName in folder, takes the tuner out of sleep and tunes
// space 0 channel 0; returns the board handle of its tuner, or -1 with the
// copy unloaded when any step fails.
int32_t LoadAndTune(const Board& board, const TempFolder& folder, const wchar_t* fileName,
                    Plugin* plugin);

double Median(std::vector<double> values);
// Nearest-rank percentile, fraction in (0, 1].
double Percentile(std::vector<double> values, double fraction);
double Min(const std::vector<double>& values);
double Max(const std::vector<double>& values);

// Each benchmark prints its part of the report and returns false only when it
// could not run.
bool RunThroughput(const Board& board);
bool RunLoadTime(const Board& board);
bool RunWakeUp(const Board& board);
