// jsmn's functions, compiled here once, in strict mode as net/Json.h declares
// them.
#define JSMN_STRICT
#include <jsmn.h>

#include "net/Json.h"

#include "net/Text.h"

namespace {

const jsmntok_t& Token(const JsonDoc& doc, int index)
{
    return doc.tokens[index];
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

uint32_t Hex4(const char* text)
{
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i)
        value = value << 4 | static_cast<uint32_t>(HexDigit(text[i]));
    return value;
}

struct Utf8Out {
    char* dest;
    size_t capacity;
    size_t length;
};

void Put(Utf8Out* out, const char* bytes, size_t count)
{
    // A character is written whole or not at all.
    if (out->length + count >= out->capacity) {
        out->capacity = out->length + 1;
        return;
    }
    for (size_t i = 0; i < count; ++i)
        out->dest[out->length++] = bytes[i];
}

void PutPoint(Utf8Out* out, uint32_t point)
{
    char bytes[4];
    if (point < 0x80) {
        bytes[0] = static_cast<char>(point);
        Put(out, bytes, 1);
    } else if (point < 0x800) {
        bytes[0] = static_cast<char>(0xC0 | point >> 6);
        bytes[1] = static_cast<char>(0x80 | (point & 0x3F));
        Put(out, bytes, 2);
    } else if (point < 0x10000) {
        bytes[0] = static_cast<char>(0xE0 | point >> 12);
        bytes[1] = static_cast<char>(0x80 | (point >> 6 & 0x3F));
        bytes[2] = static_cast<char>(0x80 | (point & 0x3F));
        Put(out, bytes, 3);
    } else {
        bytes[0] = static_cast<char>(0xF0 | point >> 18);
        bytes[1] = static_cast<char>(0x80 | (point >> 12 & 0x3F));
        bytes[2] = static_cast<char>(0x80 | (point >> 6 & 0x3F));
        bytes[3] = static_cast<char>(0x80 | (point & 0x3F));
        Put(out, bytes, 4);
    }
}

}  // namespace

bool ParseJsonObject(JsonDoc* doc, const char* text, size_t length, jsmntok_t* tokens, unsigned capacity)
{
    jsmn_parser parser;
    jsmn_init(&parser);
    int count = jsmn_parse(&parser, text, length, tokens, capacity);
    doc->text = text;
    doc->tokens = tokens;
    doc->count = count > 0 ? count : 0;
    return count > 0 && tokens[0].type == JSMN_OBJECT;
}

int JsonNext(const JsonDoc& doc, int index)
{
    int end = Token(doc, index).end;
    int next = index + 1;
    while (next < doc.count && Token(doc, next).start < end)
        ++next;
    return next;
}

int JsonMember(const JsonDoc& doc, int index, const char* key)
{
    if (index < 0 || index >= doc.count || Token(doc, index).type != JSMN_OBJECT)
        return -1;
    int members = Token(doc, index).size;
    size_t keyLength = TextLength(key);
    int at = index + 1;
    for (int i = 0; i < members && at + 1 < doc.count; ++i) {
        const jsmntok_t& name = Token(doc, at);
        // Keys are compared as written: serve's are plain ASCII.
        bool same = name.type == JSMN_STRING && static_cast<size_t>(name.end - name.start) == keyLength;
        for (size_t c = 0; same && c < keyLength; ++c)
            same = doc.text[name.start + static_cast<int>(c)] == key[c];
        if (same)
            return at + 1;
        at = JsonNext(doc, at + 1);
    }
    return -1;
}

bool JsonIs(const JsonDoc& doc, int index, jsmntype_t type)
{
    return index >= 0 && index < doc.count && Token(doc, index).type == type;
}

bool JsonText(const JsonDoc& doc, int index, char* dest, size_t capacity)
{
    if (!JsonIs(doc, index, JSMN_STRING) || capacity == 0)
        return false;
    const char* text = doc.text;
    Utf8Out out = {dest, capacity, 0};
    // jsmn's strict mode has checked every escape: a backslash is followed
    // by one of "\/bfnrt or by u and four hex digits.
    for (int at = Token(doc, index).start; at < Token(doc, index).end; ++at) {
        char c = text[at];
        if (c != '\\') {
            Put(&out, &c, 1);
            continue;
        }
        char e = text[++at];
        static const char kEscapes[] = "\"\"\\\\//b\bf\fn\nr\rt\t";
        char plain = 0;
        for (int i = 0; kEscapes[i] != '\0'; i += 2)
            if (kEscapes[i] == e)
                plain = kEscapes[i + 1];
        if (e != 'u') {
            Put(&out, &plain, 1);
            continue;
        }
        uint32_t point = Hex4(text + at + 1);
        at += 4;
        // A pair of escapes for a character beyond U+FFFF; a half alone is
        // no character.
        if (point >= 0xD800 && point < 0xDC00 && at + 6 < Token(doc, index).end && text[at + 1] == '\\' &&
            text[at + 2] == 'u') {
            uint32_t low = Hex4(text + at + 3);
            if (low >= 0xDC00 && low < 0xE000) {
                point = 0x10000 + ((point - 0xD800) << 10) + (low - 0xDC00);
                at += 6;
            }
        }
        if (point >= 0xD800 && point < 0xE000)
            point = 0xFFFD;
        PutPoint(&out, point);
    }
    dest[out.length] = '\0';
    return true;
}

bool JsonUnsigned(const JsonDoc& doc, int index, uint32_t* value)
{
    if (!JsonIs(doc, index, JSMN_PRIMITIVE))
        return false;
    const jsmntok_t& token = Token(doc, index);
    return ParseUnsignedText(doc.text + token.start, static_cast<size_t>(token.end - token.start), 0xFFFFFFFFu,
                             value);
}

bool JsonNumber(const JsonDoc& doc, int index, double* value)
{
    if (!JsonIs(doc, index, JSMN_PRIMITIVE))
        return false;
    const jsmntok_t& token = Token(doc, index);
    const char* c = doc.text + token.start;
    const char* end = doc.text + token.end;
    bool negative = c < end && *c == '-';
    if (negative)
        ++c;
    if (c == end || *c < '0' || *c > '9')
        return false;
    double result = 0;
    for (; c < end && *c >= '0' && *c <= '9'; ++c)
        result = result * 10 + (*c - '0');
    if (c < end && *c == '.') {
        double scale = 1;
        for (++c; c < end && *c >= '0' && *c <= '9'; ++c) {
            scale /= 10;
            result += (*c - '0') * scale;
        }
    }
    if (c < end && (*c == 'e' || *c == 'E')) {
        ++c;
        bool down = c < end && *c == '-';
        if (c < end && (*c == '-' || *c == '+'))
            ++c;
        int exponent = 0;
        for (; c < end && *c >= '0' && *c <= '9'; ++c)
            exponent = exponent < 400 ? exponent * 10 + (*c - '0') : exponent;
        for (int i = 0; i < exponent; ++i)
            result = down ? result / 10 : result * 10;
    }
    if (c != end)
        return false;
    *value = negative ? -result : result;
    return true;
}
