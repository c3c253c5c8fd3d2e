// The tool's machine-readable output: one JSON object a command, built as
// text. Keys are fixed ASCII names; strings are UTF-8.
#pragma once

#include <stdint.h>

#include <string>

std::string JsonString(const std::string& text);

// Members in the order added. Values given as JSON text (Raw) are taken as
// they stand, so that objects and arrays nest.
class JsonObject
{
public:
    JsonObject& Str(const char* key, const std::string& value) { return Raw(key, JsonString(value)); }
    JsonObject& Int(const char* key, int64_t value) { return Raw(key, std::to_string(value)); }
    // A number with a fixed count of decimals.
    JsonObject& Num(const char* key, double value, int decimals);
    JsonObject& Bool(const char* key, bool value) { return Raw(key, value ? "true" : "false"); }
    JsonObject& Null(const char* key) { return Raw(key, "null"); }
    // null stands for "none": a negative number, an empty text.
    JsonObject& IntOrNull(const char* key, int64_t value) { return value < 0 ? Null(key) : Int(key, value); }
    JsonObject& StrOrNull(const char* key, const std::string& value)
    {
        return value.empty() ? Null(key) : Str(key, value);
    }
    JsonObject& Raw(const char* key, const std::string& json);
    std::string Text() const { return "{" + m_members + "}"; }

private:
    std::string m_members;
};

class JsonArray
{
public:
    JsonArray& Add(const std::string& json)
    {
        m_items += (m_items.empty() ? "" : ",") + json;
        return *this;
    }
    std::string Text() const { return "[" + m_items + "]"; }

private:
    std::string m_items;
};
