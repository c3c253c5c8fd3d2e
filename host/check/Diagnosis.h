// Gathers what check reports about one copy of the plug-in, the way the
// plug-in itself would find it, and changes nothing: no rename, no write, and
// a tuner is opened (and closed at once) only when the board is asked.
#pragma once

#include <string>

#include "host/check/CheckReport.h"

Judgement Diagnose(const std::wstring& driverPath, bool askBoard);

// Why `verb` (check, init, scan --write-channels), which knows only the
// tuner plug-in's side files, does not apply to the DLL: another plug-in
// (its import table read whole, without the board library). Empty for the
// tuner plug-in, and whenever the headers tell nothing.
std::string NotTunerPlugin(const std::wstring& driverPath, const char* verb);

class Driver;
struct Command;
// Loads the command's driver. On failure says why on stderr, with a line on
// the likely cause when the loader's error says that the plug-in or its
// board library refused, and with --json prints the failure object to
// jsonHandle (STD_OUTPUT_HANDLE or STD_ERROR_HANDLE).
bool LoadDriver(Driver* driver, const Command& command, const char* verb, unsigned long jsonHandle);
