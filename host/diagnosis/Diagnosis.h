// Gathers the verdict on one copy of the plug-in, the way the plug-in itself
// would find it: what check reports, and what the other commands repeat when
// a copy does not load. Changes nothing: no rename, no write, and a tuner is
// opened (and closed at once) only when the board is asked.
#pragma once

#include <string>

#include "host/diagnosis/Judgement.h"

Judgement Diagnose(const std::wstring& driverPath, bool askBoard);

// Why `verb` (check, init, scan --write-channels), which knows only the
// tuner plug-in's side files, does not apply to the DLL: another plug-in
// (its import table read whole, without the board library). Empty for the
// tuner plug-in, and whenever the headers tell nothing.
std::string NotTunerPlugin(const std::wstring& driverPath, const char* verb);
// Why the loader refused the plug-in, in check's words, when its error
// (Driver::LoadError) says that the plug-in or a library it imports refused:
// 126, a library it imports was not found; 1114, the plug-in refused to load.
// Empty for other errors, or when the diagnosis finds no cause.
std::string LoadFailureCause(const std::wstring& driverPath, unsigned long loadError);

class Driver;
// Loads the driver at driverPath. On failure says why on stderr, with a line
// on the likely cause when the loader's error says that the plug-in or its
// board library refused, and with json prints the failure object of the
// command `verb` to jsonHandle (STD_OUTPUT_HANDLE or STD_ERROR_HANDLE).
bool LoadDriver(Driver* driver, const std::wstring& driverPath, bool json, const char* verb,
                unsigned long jsonHandle);
