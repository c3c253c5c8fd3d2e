#include "standin/CallLog.h"

#include <string.h>

namespace {

struct Entry {
    char text[kCallLogTextBytes];
    uint32_t timeMs;
};

// Zero-initialised, so it costs no file size and no memory until written.
Entry g_entries[kCallLogCapacity];
int32_t g_count = 0;
bool g_enabled = true;

void CopyCut(char* dest, uint32_t capacity, const char* src)
{
    uint32_t n = 0;
    while (src[n] != '\0' && n + 1 < capacity) {
        dest[n] = src[n];
        ++n;
    }
    dest[n] = '\0';
}

}  // namespace

void CallLogClear(void)
{
    g_count = 0;
}

void CallLogSetEnabled(bool enabled)
{
    g_enabled = enabled;
}

bool CallLogEnabled(void)
{
    return g_enabled;
}

void CallLogAdd(const char* text, uint32_t timeMs)
{
    if (!g_enabled)
        return;
    if (g_count < kCallLogCapacity) {
        Entry& e = g_entries[g_count];
        CopyCut(e.text, sizeof e.text, text);
        e.timeMs = timeMs;
    }
    if (g_count < INT32_MAX)
        ++g_count;
}

int32_t CallLogCount(void)
{
    return g_count;
}

int32_t CallLogGet(int32_t index, char* text, uint32_t capacity, uint32_t* timeMs)
{
    if (index < 0 || index >= g_count || index >= kCallLogCapacity)
        return -1;
    const Entry& e = g_entries[index];
    if (text != nullptr && capacity > 0)
        CopyCut(text, capacity, e.text);
    if (timeMs != nullptr)
        *timeMs = e.timeMs;
    return 0;
}
