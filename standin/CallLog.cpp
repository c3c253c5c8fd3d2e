#include "standin/CallLog.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include <windows.h>
#include <mmsystem.h>

namespace {

struct Entry {
    char text[kCallLogTextBytes];
    uint32_t timeMs;
};

CRITICAL_SECTION g_logLock;
volatile LONG g_enabled = 0;
// Allocated at the first entry, so that a log never switched on costs no
// memory.
Entry* g_entries = nullptr;
uint32_t g_capacity = kCallLogDefaultCapacity;
int32_t g_count = 0;
HANDLE g_file = INVALID_HANDLE_VALUE;

void CopyCut(char* dest, uint32_t capacity, const char* src)
{
    uint32_t n = 0;
    while (src[n] != '\0' && n + 1 < capacity) {
        dest[n] = src[n];
        ++n;
    }
    dest[n] = '\0';
}

void FreeEntries()
{
    if (g_entries != nullptr)
        VirtualFree(g_entries, 0, MEM_RELEASE);
    g_entries = nullptr;
}

void CloseFile()
{
    if (g_file != INVALID_HANDLE_VALUE)
        CloseHandle(g_file);
    g_file = INVALID_HANDLE_VALUE;
}

class LogLock
{
public:
    LogLock() { EnterCriticalSection(&g_logLock); }
    ~LogLock() { LeaveCriticalSection(&g_logLock); }
};

}  // namespace

void CallLogInit(void)
{
    InitializeCriticalSection(&g_logLock);
}

void CallLogClose(void)
{
    CloseFile();
    FreeEntries();
    DeleteCriticalSection(&g_logLock);
}

void CallLogClear(void)
{
    LogLock lock;
    g_count = 0;
}

void CallLogSetEnabled(bool enabled)
{
    InterlockedExchange(&g_enabled, enabled ? 1 : 0);
}

bool CallLogEnabled(void)
{
    return g_enabled != 0;
}

bool CallLogSetCapacity(uint32_t entries)
{
    if (entries > 0x7FFFFFFFu / sizeof(Entry))
        return false;
    LogLock lock;
    FreeEntries();
    g_capacity = entries;
    g_count = 0;
    return true;
}

bool CallLogOpenFile(const wchar_t* path)
{
    LogLock lock;
    CloseFile();
    if (path != nullptr)
        g_file = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    return path == nullptr || g_file != INVALID_HANDLE_VALUE;
}

void CallLogAdd(const char* format, ...)
{
    if (!CallLogEnabled())
        return;
    uint32_t timeMs = timeGetTime();
    char text[kCallLogTextBytes];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof text, format, args);
    va_end(args);
    // Some runtimes leave a cut text unterminated.
    text[sizeof text - 1] = '\0';

    LogLock lock;
    if (g_entries == nullptr)
        g_entries = static_cast<Entry*>(
            VirtualAlloc(nullptr, g_capacity * sizeof(Entry), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    if (g_entries != nullptr && static_cast<uint32_t>(g_count) < g_capacity) {
        Entry& e = g_entries[g_count];
        CopyCut(e.text, sizeof e.text, text);
        e.timeMs = timeMs;
    }
    if (g_count < INT32_MAX)
        ++g_count;
    if (g_file != INVALID_HANDLE_VALUE) {
        char line[kCallLogTextBytes + 16];
        int n = snprintf(line, sizeof line, "%u %s\r\n", timeMs, text);
        DWORD written = 0;
        if (n > 0)
            WriteFile(g_file, line, static_cast<DWORD>(n < static_cast<int>(sizeof line) ? n : sizeof line - 1),
                      &written, nullptr);
    }
}

int32_t CallLogCount(void)
{
    LogLock lock;
    return g_count;
}

int32_t CallLogGet(int32_t index, char* text, uint32_t capacity, uint32_t* timeMs)
{
    LogLock lock;
    if (index < 0 || index >= g_count || static_cast<uint32_t>(index) >= g_capacity || g_entries == nullptr)
        return -1;
    const Entry& e = g_entries[index];
    if (text != nullptr && capacity > 0)
        CopyCut(text, capacity, e.text);
    if (timeMs != nullptr)
        *timeMs = e.timeMs;
    return 0;
}
