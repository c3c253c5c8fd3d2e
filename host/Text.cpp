#include "host/Text.h"

#include <stdio.h>

#include <algorithm>
#include <vector>

namespace {

void AppendUtf8(std::string* out, uint32_t c)
{
    if (c < 0x80) {
        *out += static_cast<char>(c);
    } else if (c < 0x800) {
        *out += static_cast<char>(0xC0 | (c >> 6));
        *out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        *out += static_cast<char>(0xE0 | (c >> 12));
        *out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        *out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        *out += static_cast<char>(0xF0 | (c >> 18));
        *out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        *out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        *out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

bool IsContinuation(char c) { return (static_cast<uint8_t>(c) & 0xC0) == 0x80; }

}  // namespace

std::string ToUtf8(const wchar_t* text)
{
    std::string out;
    for (const wchar_t* p = text; p != nullptr && *p != 0; ++p) {
        uint32_t c = static_cast<uint32_t>(*p);
        if (c >= 0xD800 && c < 0xDC00 && p[1] >= 0xDC00 && p[1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<uint32_t>(p[1]) - 0xDC00);
            ++p;
        } else if ((c >= 0xD800 && c < 0xE000) || c > 0x10FFFF) {
            c = 0xFFFD;  // a lone surrogate
        }
        AppendUtf8(&out, c);
    }
    return out;
}

size_t CharacterCount(const std::string& text)
{
    size_t count = 0;
    for (char c : text)
        count += IsContinuation(c) ? 0 : 1;
    return count;
}

std::string FirstCharacters(const std::string& text, size_t count)
{
    size_t end = 0;
    for (size_t seen = 0; end < text.size(); ++end) {
        if (!IsContinuation(text[end]) && seen++ == count)
            break;
    }
    return text.substr(0, end);
}

std::string FillInserts(const std::string& message, const std::string& insert)
{
    std::string out;
    for (size_t i = 0; i < message.size(); ++i) {
        if (message[i] == '%' && i + 1 < message.size() && message[i + 1] >= '1' && message[i + 1] <= '9') {
            out += insert;
            ++i;
            size_t end = i + 1 < message.size() && message[i + 1] == '!' ? message.find('!', i + 2) : std::string::npos;
            if (end != std::string::npos)
                i = end;
        } else {
            out += message[i];
        }
    }
    return out;
}

std::string Hex4(uint32_t value)
{
    char text[16];
    snprintf(text, sizeof text, "0x%04X", static_cast<unsigned>(value));
    return text;
}

std::string Fixed(double value, int decimals)
{
    char text[64];
    snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

std::string Counted(uint64_t count, const std::string& noun)
{
    return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

std::string AsciiLower(std::string text)
{
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

size_t EditDistance(const std::string& a, const std::string& b)
{
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j)
        row[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

std::wstring PartialName(const std::wstring& target, int attempt)
{
    size_t folder = target.find_last_of(L"\\/:");
    size_t dot = target.rfind(L'.');
    if (dot == std::wstring::npos || (folder != std::wstring::npos && dot < folder) || dot == folder + 1)
        dot = target.size();
    std::wstring mark = L".partial";
    if (attempt > 1)
        mark += L"-" + std::to_wstring(attempt);
    return target.substr(0, dot) + mark + target.substr(dot);
}
