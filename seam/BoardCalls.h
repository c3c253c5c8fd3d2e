// The board library's calls as one table. The driver reaches the board only
// through it: the DLL fills it with the imports of EarthPtDll.dll
// (win32/BoardImports.cpp), the native tests with a fake board. Each entry
// has the library's own name, arguments and calling convention.
#pragma once

#include "board/EarthPtDll.h"

struct BoardCalls {
    int32_t(PTDLL_CALL* GetDllVersion)(void);
    int32_t(PTDLL_CALL* PtDllOpen)(const wchar_t* tunerName);
    int32_t(PTDLL_CALL* PtDllClose)(int32_t handle);
    int32_t(PTDLL_CALL* PtDllGetDevCount)(void);
    int32_t(PTDLL_CALL* PtDllSetLnbPower)(int32_t handle, int32_t mode);
    int32_t(PTDLL_CALL* PtDllSetTunerSleep)(int32_t handle, int32_t sleep);
    int32_t(PTDLL_CALL* PtDllGetChannelMax)(int32_t handle, uint32_t* count);
    int32_t(PTDLL_CALL* PtDllGetChannelInfo)(int32_t handle, uint32_t index, uint32_t* value, char* name16);
    int32_t(PTDLL_CALL* PtDllSetFrequency)(int32_t handle, uint32_t ptChannel);
    int32_t(PTDLL_CALL* PtDllGetTmcc)(int32_t handle, void* tmcc20);
    int32_t(PTDLL_CALL* PtDllSetIdS)(int32_t handle, uint32_t tsId);
    int32_t(PTDLL_CALL* PtDllGetCnAgc)(int32_t handle, uint32_t* cn100, uint32_t* agc, uint32_t* agcMax);
    int32_t(PTDLL_CALL* PtDllSetStreamEnable)(int32_t handle, int32_t enable);
    int32_t(PTDLL_CALL* PtDllGetStreamEnable)(int32_t handle, uint8_t* running);
    int32_t(PTDLL_CALL* PtDllGetStreamSize)(int32_t handle, uint32_t* size);
    int32_t(PTDLL_CALL* PtDllGetStreamData)(int32_t handle, uint8_t* dest, uint32_t capacity, uint32_t* copied);
    int32_t(PTDLL_CALL* PtDllGetStreamFlush)(int32_t handle);
};
