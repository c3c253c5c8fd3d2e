// The tool's machine-readable output: one JSON object a command, built with
// nlohmann/json. Members keep the order they are set in, the order the README
// documents them in.
#pragma once

#include <stdint.h>

#include <string>

#include <nlohmann/json.hpp>

typedef nlohmann::ordered_json Json;

// On one line. The tool is built without exceptions, where nlohmann/json
// aborts on text that is not UTF-8; such bytes become U+FFFD instead.
std::string JsonText(const Json& value);

// A number rounded to `decimals` places; null when it is not finite.
Json Rounded(double value, int decimals);
// null stands for "none": a negative number, an empty text.
Json NumberOrNull(int64_t value);
Json TextOrNull(const std::string& value);

// The object a command prints with --json when it fails before, or instead
// of, its own: command (null when not known), ok false, the error's code and
// message, the driver (null when not known) and the likely cause (or null).
Json FailureJson(const std::string& command, const std::string& driver, const std::string& code,
                 const std::string& error, const std::string& cause);
