#include "net/Text.h"

WideField StartField(wchar_t* text, size_t capacity)
{
    text[0] = L'\0';
    WideField field = {text, capacity, 0, false};
    return field;
}

namespace {

void AppendUnit(WideField* field, wchar_t unit)
{
    if (field->length + 1 >= field->capacity) {
        field->cut = true;
        return;
    }
    field->text[field->length++] = unit;
    field->text[field->length] = L'\0';
}

}  // namespace

void AppendText(WideField* field, const wchar_t* text)
{
    for (size_t i = 0; text[i] != L'\0'; ++i)
        AppendUnit(field, text[i]);
}

void AppendAscii(WideField* field, const char* text)
{
    for (size_t i = 0; text[i] != '\0'; ++i)
        AppendUnit(field, static_cast<wchar_t>(static_cast<unsigned char>(text[i])));
}

void AppendUnsigned(WideField* field, uint32_t value)
{
    wchar_t digits[10];
    int count = 0;
    do {
        digits[count++] = static_cast<wchar_t>(L'0' + value % 10);
        value /= 10;
    } while (value != 0);
    while (count > 0)
        AppendUnit(field, digits[--count]);
}

size_t WideLength(const wchar_t* text)
{
    size_t length = 0;
    while (text[length] != L'\0')
        ++length;
    return length;
}

size_t TextLength(const char* text)
{
    size_t length = 0;
    while (text[length] != '\0')
        ++length;
    return length;
}

bool SameText(const char* a, const char* b)
{
    size_t i = 0;
    for (; a[i] != '\0' && a[i] == b[i]; ++i) {
    }
    return a[i] == b[i];
}

size_t Utf8ToWide(const char* text, size_t length, wchar_t* dest, size_t capacity)
{
    const wchar_t kReplacement = 0xFFFD;
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text);
    size_t stored = 0;
    size_t at = 0;
    while (at < length) {
        unsigned char lead = bytes[at];
        uint32_t point = kReplacement;
        // The continuation bytes a lead byte announces; 4 for a byte that
        // leads nothing.
        size_t extra = lead < 0x80 ? 0 : lead < 0xC2 ? 4 : lead < 0xE0 ? 1 : lead < 0xF0 ? 2 : lead < 0xF5 ? 3 : 4;
        if (extra == 0) {
            point = lead;
        } else if (extra <= 3) {
            uint32_t value = lead & (0x3Fu >> extra);
            size_t i = 1;
            for (; i <= extra && at + i < length && (bytes[at + i] & 0xC0) == 0x80; ++i)
                value = value << 6 | (bytes[at + i] & 0x3Fu);
            // Overlong forms, surrogates and values past U+10FFFF are not text.
            static const uint32_t kLeast[] = {0, 0x80, 0x800, 0x10000};
            if (i == extra + 1 && value >= kLeast[extra] && value <= 0x10FFFF && (value < 0xD800 || value > 0xDFFF)) {
                point = value;
                at += extra;
            }
        }
        ++at;
        size_t units = point >= 0x10000 ? 2 : 1;
        if (stored + units >= capacity)
            break;
        if (units == 2) {
            dest[stored++] = static_cast<wchar_t>(0xD800 + ((point - 0x10000) >> 10));
            dest[stored++] = static_cast<wchar_t>(0xDC00 + ((point - 0x10000) & 0x3FF));
        } else {
            dest[stored++] = static_cast<wchar_t>(point);
        }
    }
    if (capacity > 0)
        dest[stored] = L'\0';
    return stored;
}

bool ParseUnsignedText(const char* text, size_t length, uint32_t max, uint32_t* value)
{
    if (length == 0 || length > 10)
        return false;
    uint64_t result = 0;
    for (size_t i = 0; i < length; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
        result = result * 10 + static_cast<uint64_t>(text[i] - '0');
    }
    if (result > max)
        return false;
    *value = static_cast<uint32_t>(result);
    return true;
}
