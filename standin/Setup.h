// The set-up file, EarthPtDll-standin.ini beside the stand-in, read at the
// first call of the process; its format is in README.md. Lines that cannot be
// used are skipped and counted. Called under SimLock.
#pragma once

#include <stdint.h>

#include <windows.h>

// Remembers which module is the stand-in (from DllMain).
void SetupRemember(HINSTANCE module);
void SetupLoadBesideModule(void);
// Reads and applies a set-up file; the count of lines not used, or -1 when it
// cannot be read.
int32_t SetupLoad(const wchar_t* path);
