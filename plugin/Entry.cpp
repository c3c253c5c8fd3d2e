// The DLL's entry points: the export that hands the instance to the host, the
// loader's attach and detach notifications, and Release.
#include <new>

#include "plugin/Zendrel.h"

namespace {

// The single instance of this loaded copy of the DLL; null before attach and
// after release. Never created again once released.
CZendrel* g_instance = nullptr;
// Unnamed mutex created by the first construction and never closed.
HANDLE g_instanceLock = nullptr;

void DetachInstance()
{
    if (g_instance != nullptr) {
        g_instance->Release();
        g_instance = nullptr;
    }
}

}  // namespace

bool EnsureInstanceLock()
{
    if (g_instanceLock == nullptr)
        g_instanceLock = CreateMutexW(nullptr, FALSE, nullptr);
    return g_instanceLock != nullptr;
}

void CZendrel::Release(void)
{
    // Construction creates the lock before anything that needs undoing, so
    // only an instance whose lock could not be made gets here without one.
    bool locked = false;
    if (g_instanceLock != nullptr) {
        DWORD wait = WaitForSingleObject(g_instanceLock, INFINITE);
        locked = (wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED);
    }
    delete this;
    g_instance = nullptr;
    if (locked)
        ReleaseMutex(g_instanceLock);
}

extern "C" __declspec(dllexport) IBonDriver* __cdecl CreateBonDriver(void)
{
    return g_instance;
}

BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID)
{
    switch (reason) {
    case DLL_PROCESS_ATTACH: {
        HRESULT result = E_OUTOFMEMORY;
        g_instance = new (std::nothrow) CZendrel(module, &result);
        if (g_instance == nullptr)
            return FALSE;
        if (FAILED(result)) {
            // Release now, so that the tuner is closed whether or not the
            // loader or the runtime delivers a detach after a failed attach.
            DetachInstance();
            return FALSE;
        }
        return TRUE;
    }
    case DLL_PROCESS_DETACH:
        DetachInstance();
        return TRUE;
    default:
        return TRUE;
    }
}
