// What the benchmarks share: a clock, loading a copy of the plug-in as a host
// does, and the few statistics the report prints. The stand-in board library
// (loaded by its path before any copy of the plug-in, whose import of
// EarthPtDll.dll then resolves to it) and the folders for the copies come from
// testsupport/, which the plug-in tests use as well.
#pragma once

#include <windows.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "plugin/IBonDriver.h"
#include "testsupport/Folder.h"
#include "testsupport/StandinLoader.h"

// QueryPerformanceCounter in seconds.
double Seconds();

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
int32_t LoadAndTune(const Standin& board, const Folder& folder, const wchar_t* fileName,
                    Plugin* plugin);

double Median(std::vector<double> values);
// Nearest-rank percentile, fraction in (0, 1].
double Percentile(std::vector<double> values, double fraction);
double Min(const std::vector<double>& values);
double Max(const std::vector<double>& values);

// Each benchmark prints its part of the report and returns false only when it
// could not run.
bool RunThroughput(const Standin& board);
bool RunLoadTime(const Standin& board);
bool RunWakeUp(const Standin& board);
bool RunServeBench(const Standin& board);
bool RunConnectionsBench(const Standin& board);
bool RunNetBench(const Standin& board);
