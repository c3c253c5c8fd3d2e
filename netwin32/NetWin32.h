// The network plug-in's call table as the DLL fills it: Windows and WinHTTP.
// Only this folder and netplugin/ include windows.h.
#pragma once

#include "netseam/NetCalls.h"

extern const NetCalls g_netWin32;
