// The DLL's entry points: the export that hands the instance to the host, the
// loader's attach and detach notifications, and Release.
//
// Hosts load and unload a plug-in many times in one process (scanners,
// recorders that reload per job), so a load must leave nothing behind: the
// instance is one zero-filled block of the process heap, the DLL carries no C
// runtime start-up code (GCC builds enter at DllMain itself), and the instance
// lock is closed when FreeLibrary unloads the DLL.
#include <new>

#include "plugin/Zendrel.h"

namespace {

// The single instance of this loaded copy of the DLL; null before attach and
// after release. Never created again once released.
CZendrel* g_instance = nullptr;
// Unnamed mutex, created by the first construction; closed only when the DLL
// is unloaded.
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
    this->~CZendrel();
    HeapFree(GetProcessHeap(), 0, this);
    g_instance = nullptr;
    if (locked)
        ReleaseMutex(g_instanceLock);
}

extern "C" __declspec(dllexport) IBonDriver* __cdecl CreateBonDriver(void)
{
    return g_instance;
}

BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID reserved)
{
    switch (reason) {
    case DLL_PROCESS_ATTACH: {
        DisableThreadLibraryCalls(module);
        // Zero-filled: the stream buffer, the name pool and the tables start
        // out zero without being written, so their pages cost nothing until
        // they are used.
        void* block = HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(CZendrel));
        if (block == nullptr)
            return FALSE;
        HRESULT result = E_OUTOFMEMORY;
        g_instance = new (block) CZendrel(module, &result);
        if (FAILED(result)) {
            // Release now, so that the tuner is closed whether or not the
            // loader delivers a detach after a failed attach.
            DetachInstance();
            return FALSE;
        }
        return TRUE;
    }
    case DLL_PROCESS_DETACH:
        DetachInstance();
        // reserved is null when FreeLibrary unloads the DLL; at process exit
        // the system takes the handle back itself.
        if (reserved == nullptr && g_instanceLock != nullptr) {
            CloseHandle(g_instanceLock);
            g_instanceLock = nullptr;
        }
        return TRUE;
    default:
        return TRUE;
    }
}

#if defined(__GNUC__)
// GCC builds link without the C runtime's start-up objects (their DLL entry
// looks for the GCC runtime DLL on disk at every load) and enter at DllMain.
// What that start-up code would still have to do is done here: run the static
// constructors that GCC lists between __CTOR_LIST__'s -1 and a null, last
// first. The DLL has none today; should one appear, it runs.
extern "C" void (*__CTOR_LIST__[])(void);

extern "C" BOOL WINAPI ZendrelEntry(HINSTANCE module, DWORD reason, LPVOID reserved)
{
    if (reason == DLL_PROCESS_ATTACH) {
        int count = 0;
        while (__CTOR_LIST__[count + 1] != nullptr)
            ++count;
        for (int i = count; i >= 1; --i)
            __CTOR_LIST__[i]();
    }
    return DllMain(module, reason, reserved);
}
#endif
