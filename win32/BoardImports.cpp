// The board table, filled with the imports of EarthPtDll.dll. The
// declarations carry no dllimport, so each entry is the address of an import
// stub inside this DLL: a constant, set when the DLL is mapped, with no code
// run at load.
#include "win32/Win32Calls.h"

const BoardCalls g_boardImports = {
    GetDllVersion,       PtDllOpen,          PtDllClose,           PtDllGetDevCount,     PtDllSetLnbPower,
    PtDllSetTunerSleep,  PtDllGetChannelMax, PtDllGetChannelInfo,  PtDllSetFrequency,    PtDllGetTmcc,
    PtDllSetIdS,         PtDllGetCnAgc,      PtDllSetStreamEnable, PtDllGetStreamEnable, PtDllGetStreamSize,
    PtDllGetStreamData,  PtDllGetStreamFlush,
};
