// Shared pieces of the rule tests: the harness, and short text forms of what
// the channel fields hold.
#pragma once

#include <gtest/gtest.h>

#include "RuleHarness.h"

inline std::vector<std::string> ReadLines(const std::string& text, int32_t chunkSize)
{
    Reading reading(text, chunkSize);
    std::vector<std::string> lines;
    while (ReadLine(reading.reader.get()))
        lines.push_back(reading.Tokens());
    return lines;
}

inline void Parse(Store& store, const std::string& text, bool isTerrestrial, int32_t chunkSize = 0)
{
    Reading reading(text, chunkSize);
    ParseChannelText(reading.reader.get(), isTerrestrial, store.Setup());
}

// "name,ptChannel,tsId in hex" for each entry, separated by spaces.
inline std::string Dump(const ChannelTable& table)
{
    std::string dump;
    for (int32_t i = 0; i < table.count; ++i) {
        char numbers[32];
        snprintf(numbers, sizeof numbers, ",%d,%x", table.entries[i].ptChannel, table.entries[i].tsId);
        dump += (i ? " " : "") + std::string(NameText(table.entries[i].name)) + numbers;
    }
    return dump;
}
