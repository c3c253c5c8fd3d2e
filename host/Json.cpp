#include "host/Json.h"

#include <math.h>
#include <stdio.h>

#include "host/Text.h"

std::string JsonString(const std::string& text)
{
    std::string out = "\"";
    for (char c : text) {
        uint8_t byte = static_cast<uint8_t>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20) {
            char escape[8];
            snprintf(escape, sizeof escape, "\\u%04x", byte);
            out += escape;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

JsonObject& JsonObject::Num(const char* key, double value, int decimals)
{
    // JSON has no NaN or infinity.
    return Raw(key, isfinite(value) ? Fixed(value, decimals) : "null");
}

JsonObject& JsonObject::Raw(const char* key, const std::string& json)
{
    m_members += (m_members.empty() ? "" : ",") + JsonString(key) + ":" + json;
    return *this;
}
