// The OS table, filled with Windows calls. Each one does only what its entry
// in seam/OsCalls.h says; every Windows result is turned into that form here.
#include <windows.h>
#include <mmsystem.h>

#include "win32/Kernel32.h"
#include "win32/Win32Calls.h"

namespace {

void SleepMilliseconds(uint32_t milliseconds)
{
    SleepEx(milliseconds, FALSE);
}

uint32_t Milliseconds(void)
{
    return timeGetTime();
}

void ShowMessage(const wchar_t* text)
{
    MessageBoxW(nullptr, text, nullptr, MB_OK);
}

int32_t AnsiToWide(const char* text, wchar_t* dest, int32_t capacity)
{
    return MultiByteToWideChar(CP_ACP, 0, text, -1, dest, capacity);
}

void* NewMutex(const wchar_t* name)
{
    return CreateMutexW(nullptr, FALSE, name);
}

static_assert(kWaitForever == INFINITE, "the table's endless wait is the system's");

bool WaitMutex(void* mutex, uint32_t timeoutMs)
{
    DWORD wait = WaitForSingleObject(static_cast<HANDLE>(mutex), timeoutMs);
    return wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;
}

void ReleaseMutexHandle(void* mutex)
{
    ReleaseMutex(static_cast<HANDLE>(mutex));
}

void CloseMutex(void* mutex)
{
    CloseHandle(static_cast<HANDLE>(mutex));
}

}  // namespace

const OsCalls g_win32Os = {
    kernel32::ModuleFileName, kernel32::LongPathName, kernel32::Exists, kernel32::Move,   kernel32::ProfileInt,
    kernel32::OpenRead,       kernel32::Read,         kernel32::CreateNew, kernel32::Write, kernel32::Flush,
    kernel32::Close,          kernel32::Remove,       SleepMilliseconds, Milliseconds,     ShowMessage,
    AnsiToWide,               NewMutex,               WaitMutex,        ReleaseMutexHandle, CloseMutex,
    kernel32::Lock,           kernel32::Unlock,       kernel32::AllocZeroed, kernel32::Free,
};
