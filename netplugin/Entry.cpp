// The network plug-in's entry points: the export that hands the instance to
// the host, the loader's attach and detach notifications, and Release. What
// they do is net/Instance.cpp's; here they meet Windows.
//
// Nothing touches the network under the loader lock (WinHTTP may not be used
// from a DLL's entry point): the instance is built by the first
// CreateBonDriver, and the detach notification makes no WinHTTP call.
#include <new>

#include "net/Instance.h"
#include "netplugin/NetPlugin.h"
#include "netwin32/NetWin32.h"
#include "plugin/StaticConstructors.h"

namespace {

// The instance of this loaded copy of the DLL and its lock.
NetSlot g_slot;

NetCore* Emplace(void* block, const NetCalls* calls, void* module)
{
    return (new (block) CZendrelNet(calls, module))->Core();
}

const NetInstanceType kInstanceType = {sizeof(CZendrelNet), Emplace, CZendrelNet::Unmake};

}  // namespace

void CZendrelNet::Release(void)
{
    ReleaseNetInstance(&g_slot, &g_netWin32, &m_core);
}

extern "C" __declspec(dllexport) IBonDriver* __cdecl CreateBonDriver(void)
{
    HMODULE self = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&g_slot), &self);
    return static_cast<CZendrelNet*>(NetInstance(&g_slot, kInstanceType, &g_netWin32, self));
}

BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID reserved)
{
    switch (reason) {
    case DLL_PROCESS_ATTACH:
        DisableThreadLibraryCalls(module);
        return TRUE;
    case DLL_PROCESS_DETACH:
        // reserved is null when FreeLibrary unloads the DLL, not at process exit.
        DetachNetInstance(&g_slot, reserved != nullptr);
        return TRUE;
    default:
        return TRUE;
    }
}

#if defined(__GNUC__)
// GCC builds link without the C runtime's start-up objects and enter here.
extern "C" BOOL WINAPI ZendrelNetEntry(HINSTANCE module, DWORD reason, LPVOID reserved)
{
    if (reason == DLL_PROCESS_ATTACH)
        RunStaticConstructors();
    return DllMain(module, reason, reserved);
}
#endif
