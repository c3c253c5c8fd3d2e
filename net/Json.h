// Reading serve's JSON with jsmn (Debian's libjsmn-dev, header only): it
// splits a text into tokens in an array it is given and allocates nothing,
// which suits a DLL with no allocation after load. Strict mode, so that what
// is not JSON (an HTML page, say) is refused. These helpers walk the tokens:
// members by name, strings decoded, numbers read.
#pragma once

#include <stddef.h>
#include <stdint.h>

#define JSMN_HEADER
#define JSMN_STRICT
#include <jsmn.h>

struct JsonDoc {
    const char* text;
    jsmntok_t* tokens;
    int count;
};

// Splits text into at most capacity tokens. False when it is not JSON, needs
// more tokens, or is not an object at its root.
bool ParseJsonObject(JsonDoc* doc, const char* text, size_t length, jsmntok_t* tokens, unsigned capacity);
// The token after the value at index and everything inside it.
int JsonNext(const JsonDoc& doc, int index);
// The value of member key of the object at index; -1 when there is none or
// index is no object.
int JsonMember(const JsonDoc& doc, int index, const char* key);
bool JsonIs(const JsonDoc& doc, int index, jsmntype_t type);
// The string at index, unescaped, as UTF-8 (cut to capacity - 1 bytes,
// terminated). False when it is no string.
bool JsonText(const JsonDoc& doc, int index, char* dest, size_t capacity);
// A whole number from 0 to 4294967295. False for anything else.
bool JsonUnsigned(const JsonDoc& doc, int index, uint32_t* value);
// A number. False for anything else (null included).
bool JsonNumber(const JsonDoc& doc, int index, double* value);
