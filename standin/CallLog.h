// The record of board calls that tests read back. The caller serialises
// access; the log keeps only the first kCallLogCapacity entries after a clear
// but counts every call, so a test can tell "nothing more happened" from
// "too much happened to keep".
#pragma once

#include <stdint.h>

enum {
    kCallLogCapacity = 65536,
    // Long enough for the widest call with 32-bit arguments; a tuner name
    // beyond what fits is cut.
    kCallLogTextBytes = 92,
};

void CallLogClear(void);
void CallLogSetEnabled(bool enabled);
bool CallLogEnabled(void);
// Stores one entry (text is cut to fit) unless logging is off.
void CallLogAdd(const char* text, uint32_t timeMs);
int32_t CallLogCount(void);
// 0, or -1 when index is not a stored entry.
int32_t CallLogGet(int32_t index, char* text, uint32_t capacity, uint32_t* timeMs);
