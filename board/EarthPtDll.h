// The tuner-board library, imported by name as EarthPtDll.dll. Every call is
// cdecl, exported undecorated, and returns a 32-bit result. A tuner is opened
// by its wide name ("Ec1Bt1", "Ec1Bs2", ...) and then used by its handle.
#pragma once

#include <stdint.h>
#include <wchar.h>

#if defined(_WIN32)
#define PTDLL_CALL __cdecl
#else
#define PTDLL_CALL
#endif

extern "C" {

// Must be 1; anything else is a library this driver was not built for.
int32_t PTDLL_CALL GetDllVersion(void);
// Handle of the named tuner, -1 when it cannot be opened (absent, or held).
int32_t PTDLL_CALL PtDllOpen(const wchar_t* tunerName);
int32_t PTDLL_CALL PtDllClose(int32_t handle);
// Number of boards in the machine; 0 = none.
int32_t PTDLL_CALL PtDllGetDevCount(void);
// mode: 2 = LNB supply on (15 V), 0 = off.
int32_t PTDLL_CALL PtDllSetLnbPower(int32_t handle, int32_t mode);
// sleep: 0 = wake, 1 = sleep.
int32_t PTDLL_CALL PtDllSetTunerSleep(int32_t handle, int32_t sleep);
// Count of the terrestrial physical channels the board knows.
int32_t PTDLL_CALL PtDllGetChannelMax(int32_t handle, uint32_t* count);
// Name of one physical channel: NUL-terminated, at most 15 bytes.
int32_t PTDLL_CALL PtDllGetChannelInfo(int32_t handle, uint32_t index, uint32_t* value, char* name16);
// Tunes to a PT channel (0-255); 0 = tuned.
int32_t PTDLL_CALL PtDllSetFrequency(int32_t handle, uint32_t ptChannel);
// Reads the 20-byte TMCC area; 0 = read, anything else = not locked.
int32_t PTDLL_CALL PtDllGetTmcc(int32_t handle, void* tmcc20);
// Selects a transport stream on a satellite carrier by its TS ID.
int32_t PTDLL_CALL PtDllSetIdS(int32_t handle, uint32_t tsId);
// cn100: carrier-to-noise ratio in dB times 100.
int32_t PTDLL_CALL PtDllGetCnAgc(int32_t handle, uint32_t* cn100, uint32_t* agc, uint32_t* agcMax);
// enable: 1 = start, 0 = stop.
int32_t PTDLL_CALL PtDllSetStreamEnable(int32_t handle, int32_t enable);
// running: non-zero while the stream runs.
int32_t PTDLL_CALL PtDllGetStreamEnable(int32_t handle, uint8_t* running);
// Bytes of stream buffered in the library and ready to read.
int32_t PTDLL_CALL PtDllGetStreamSize(int32_t handle, uint32_t* size);
// Copies up to capacity buffered bytes; copied receives the count.
int32_t PTDLL_CALL PtDllGetStreamData(int32_t handle, uint8_t* dest, uint32_t capacity, uint32_t* copied);
// Discards the buffered stream.
int32_t PTDLL_CALL PtDllGetStreamFlush(int32_t handle);

}
