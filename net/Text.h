// Text helpers of the network plug-in, which links no C runtime: bounded
// appends into fixed fields, decimal numbers, and UTF-8 (what serve speaks)
// into UTF-16 (what the host is handed).
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <wchar.h>

// A fixed field being filled: text appended beyond its capacity is cut, and
// the field stays terminated.
struct WideField {
    wchar_t* text;
    size_t capacity;  // characters, terminator included; at least 1
    size_t length;
    bool cut;
};

WideField StartField(wchar_t* text, size_t capacity);
void AppendText(WideField* field, const wchar_t* text);
// ASCII bytes, one character each.
void AppendAscii(WideField* field, const char* text);
void AppendUnsigned(WideField* field, uint32_t value);

// Characters before the terminator.
size_t WideLength(const wchar_t* text);
size_t TextLength(const char* text);
bool SameText(const char* a, const char* b);

// UTF-8 bytes to UTF-16, cut where dest is full (never between the two
// halves of a pair) and terminated. A byte that starts no valid sequence, or
// a sequence cut short, becomes U+FFFD. Returns the units stored.
size_t Utf8ToWide(const char* text, size_t length, wchar_t* dest, size_t capacity);

// Decimal digits only, at most max: false for anything else.
bool ParseUnsignedText(const char* text, size_t length, uint32_t max, uint32_t* value);
