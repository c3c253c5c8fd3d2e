// Small text helpers of the tool that need no Windows header, so that they
// are tested anywhere. Texts are UTF-8 unless said otherwise.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>

// UTF-16 (or UTF-32 where wchar_t is 32 bits) to UTF-8; null gives "".
std::string ToUtf8(const wchar_t* text);
inline std::string ToUtf8(const std::wstring& text) { return ToUtf8(text.c_str()); }

// Characters of a UTF-8 text, and its first `count` characters.
size_t CharacterCount(const std::string& text);
std::string FirstCharacters(const std::string& text, size_t count);

// A system message with its inserts (%1 to %9, with or without a !format!)
// replaced by `insert`, so that no placeholder reaches the user.
std::string FillInserts(const std::string& message, const std::string& insert);

// "0x4010": four hexadecimal digits at least.
std::string Hex4(uint32_t value);
// value with `decimals` digits after the point, always with a '.'.
std::string Fixed(double value, int decimals);
// "1 channel", "2 channels": the count and the noun, plural with an "s".
std::string Counted(uint64_t count, const std::string& noun);
// The text with its ASCII capitals in lower case; other bytes as they are.
std::string AsciiLower(std::string text);
// Edits (insert, delete, replace a byte) that turn a into b.
size_t EditDistance(const std::string& a, const std::string& b);

// The name under which an unfinished file is kept beside `target`:
// "rec.ts" gives "rec.partial.ts", "rec" gives "rec.partial"; attempt 2 and
// later add a number ("rec.partial-2.ts") for when that name is taken.
std::wstring PartialName(const std::wstring& target, int attempt);
