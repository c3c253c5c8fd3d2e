// The DLL's entry points: the export that hands the instance to the host, the
// loader's attach and detach notifications, and Release. What they do is
// driver/Instance.cpp's; here they meet Windows.
//
// Hosts load and unload a plug-in many times in one process (scanners,
// recorders that reload per job), so a load must leave nothing behind: the
// instance is one zero-filled block of the process heap, the DLL carries no C
// runtime start-up code (GCC builds enter at DllMain itself), and the instance
// lock is closed when FreeLibrary unloads the DLL.
#include <new>

#include "driver/Instance.h"
#include "plugin/StaticConstructors.h"
#include "plugin/Zendrel.h"
#include "win32/Win32Calls.h"

namespace {

// The single instance of this loaded copy of the DLL and its lock.
InstanceSlot g_instance;

DriverCore* Emplace(void* block, const BoardCalls* board, const OsCalls* os, void* module)
{
    return (new (block) CZendrel(board, os, module))->Core();
}

const InstanceType kInstanceType = {sizeof(CZendrel), Emplace, CZendrel::Unmake};

}  // namespace

void CZendrel::Release(void)
{
    ReleaseInstance(&g_instance);
}

extern "C" __declspec(dllexport) IBonDriver* __cdecl CreateBonDriver(void)
{
    return static_cast<CZendrel*>(g_instance.object.load());
}

BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID reserved)
{
    switch (reason) {
    case DLL_PROCESS_ATTACH:
        DisableThreadLibraryCalls(module);
        return AttachInstance(&g_instance, kInstanceType, &g_boardImports, &g_win32Os, module) ? TRUE : FALSE;
    case DLL_PROCESS_DETACH:
        // reserved is null when FreeLibrary unloads the DLL, not at process exit.
        DetachInstance(&g_instance, reserved == nullptr);
        return TRUE;
    default:
        return TRUE;
    }
}

#if defined(__GNUC__)
// GCC builds link without the C runtime's start-up objects and enter here.
extern "C" BOOL WINAPI ZendrelEntry(HINSTANCE module, DWORD reason, LPVOID reserved)
{
    if (reason == DLL_PROCESS_ATTACH)
        RunStaticConstructors();
    return DllMain(module, reason, reserved);
}
#endif
