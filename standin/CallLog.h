// The record of board calls: kept in memory for tests to read back, and
// appended to a file when the set-up file names one. It has a lock of its
// own, so a board call formats and stores its entry after leaving the
// machine's lock. Off until switched on; a board call then only reads one
// flag. The memory log keeps the first entries up to its capacity after a
// clear but counts every call, so a test can tell "nothing more happened"
// from "too much happened to keep".
#pragma once

#include <stdint.h>
#include <wchar.h>

enum {
    kCallLogDefaultCapacity = 65536,
    // Long enough for the widest call with 32-bit arguments; a tuner name
    // beyond what fits is cut.
    kCallLogTextBytes = 92,
};

void CallLogInit(void);
void CallLogClose(void);
void CallLogClear(void);
void CallLogSetEnabled(bool enabled);
bool CallLogEnabled(void);
// Entries the memory log keeps; false when that much memory is not to be had
// (the capacity stays as it was). Clears the log.
bool CallLogSetCapacity(uint32_t entries);
// Appends every entry from now on to this file as "timeMs text" lines; false
// when it cannot be opened. NULL stops that.
bool CallLogOpenFile(const wchar_t* path);
// Formats an entry like printf, stamps it with timeGetTime and stores it,
// unless logging is off.
void CallLogAdd(const char* format, ...);
int32_t CallLogCount(void);
// 0, or -1 when index is not a stored entry.
int32_t CallLogGet(int32_t index, char* text, uint32_t capacity, uint32_t* timeMs);
