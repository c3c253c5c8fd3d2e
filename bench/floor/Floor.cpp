// The floors of the load-time benchmark: a DLL of the plug-in's shape (the
// export, the same imported libraries, one board call at attach) that does
// nothing else. It is built twice: with the C runtime's usual start-up code,
// and, like the plug-in, with none.
#include <windows.h>
#include <mmsystem.h>
#include <stdio.h>

#include "board/EarthPtDll.h"

namespace {

// Never set: the calls below only put their libraries in the import table.
volatile LONG g_never = 0;

}  // namespace

extern "C" __declspec(dllexport) void* __cdecl CreateBonDriver(void)
{
    if (g_never) {
        char text[16];
        _snprintf(text, sizeof text, "%lu", GetCurrentProcessId());
        MessageBoxA(nullptr, text, nullptr, MB_OK);
        timeGetTime();
    }
    return nullptr;
}

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH)
        return PtDllGetDevCount() > 0;
    return TRUE;
}

#if defined(ZENDREL_FLOOR_WITHOUT_STARTUP)
extern "C" BOOL WINAPI FloorEntry(HINSTANCE module, DWORD reason, LPVOID reserved)
{
    return DllMain(module, reason, reserved);
}
#endif
