// Shared pieces of the rule tests: the channel fields of one instance, a
// reader over a text, and short text forms of what they hold.
#pragma once

#include <gtest/gtest.h>
#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "sidefiles/ChannelText.h"
#include "sidefiles/FixedTexts.h"

// The channel fields as construction leaves them: UHF and BS at space 0.
struct Store {
    int32_t space[kBandCount] = {0, -1, 0, -1};  // UHF, CATV, BS, CS110
    ChannelTable table[2];
    NamePool pool;
    Store() { ClearChannelStore(table, &pool); }
    ChannelSetup Setup() { return {{&space[0], &space[1], &space[2], &space[3]}, table, &pool}; }
};

// A zeroed reader over a text: placed whole for chunkSize 0, otherwise handed
// out in chunks of chunkSize bytes, at most `limit` bytes a read if limit > 0.
struct Reading {
    std::string text;
    size_t limit, at = 0;
    int reads = 0;
    std::unique_ptr<LineReader> reader = std::make_unique<LineReader>();

    Reading(const std::string& t, int32_t chunkSize, size_t l = 0) : text(t), limit(l ? l : t.size())
    {
        if (chunkSize == 0)
            PlaceText(reader.get(), reinterpret_cast<const uint8_t*>(text.data()), static_cast<int32_t>(text.size()));
        reader->chunkSize = chunkSize;
        reader->file = {chunkSize ? &Read : nullptr, this};
    }
    static int32_t Read(void* context, uint8_t* dest, int32_t size)
    {
        Reading* r = static_cast<Reading*>(context);
        const size_t count = std::min({r->text.size() - r->at, static_cast<size_t>(size), r->limit});
        memcpy(dest, r->text.data() + r->at, count);
        r->at += count;
        ++r->reads;
        return static_cast<int32_t>(count);
    }
    std::string Tokens() const  // the current line's tokens joined by "|"
    {
        std::string joined;
        for (int32_t i = 0; i < reader->tokenCount; ++i)
            joined += (i ? "|" : "") + std::string(reader->tokens[i]);
        return joined;
    }
};

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

inline std::string Bytes(const uint8_t* bytes, size_t size) { return std::string(reinterpret_cast<const char*>(bytes), size); }
