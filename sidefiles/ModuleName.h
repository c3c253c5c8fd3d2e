// The DLL's own file name decides the tuner kind, the tuner number and where
// the two side files are:
//
//   Zendrel-S.dll    satellite,   any tuner  Zendrel-ST.ini  Zendrel-S.SetCh.txt
//   Zendrel-T1.dll   terrestrial, tuner 1    Zendrel-ST.ini  Zendrel-T.SetCh.txt
//   Zendrel.dll      terrestrial, any tuner  Zendrel-ST.ini  Zendrel-T.SetCh.txt
//
// The last character of the stem (the file name before its last dot) may be a
// tuner digit; the character at the end, or just before the digit, may be a
// kind letter S/s or T/t. Copies that differ only in the kind letter and digit
// share one settings file; all tuner digits of one kind share a channel file.
#pragma once

#include <stdint.h>
#include <wchar.h>

// Characters of each path field, terminator included.
const int32_t kPathCapacity = 260;

// Where the side files are. Each field holds kPathCapacity characters.
struct SideFilePaths {
    wchar_t* settingsPath;
    wchar_t* channelFilePath;
    // Where an older release kept the channel file; adopted when the channel
    // file itself is missing.
    wchar_t* legacyChannelFilePath;
};

// Reads modulePath, the DLL's full path. Fails when the path has no backslash
// or the file name has no dot. *isTerrestrial is changed only when the name
// carries a kind letter; *deviceNumber becomes the tuner digit or -1. A path
// that does not fit in 259 characters is cut there.
bool ParseModulePath(const wchar_t* modulePath, bool* isTerrestrial, int32_t* deviceNumber,
                     const SideFilePaths& paths);
