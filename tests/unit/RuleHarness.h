// The rules' harness shared by the unit tests and the fuzz targets, so free of
// any test framework: the channel fields of one instance, a reader over a
// text, and the invariants that every line read and every parse must keep.
#pragma once

#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "sidefiles/ChannelText.h"
#include "sidefiles/ChannelWriter.h"
#include "sidefiles/FixedTexts.h"

// The channel fields as construction leaves them: UHF and BS at space 0.
typedef ChannelStorage Store;

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

inline std::string Bytes(const uint8_t* bytes, size_t size) { return std::string(reinterpret_cast<const char*>(bytes), size); }

// The channel file that the writer makes of the store.
inline std::string Written(bool isTerrestrial, Store& store)
{
    std::string out;
    auto append = [](void* context, const uint8_t* bytes, uint32_t size) {
        static_cast<std::string*>(context)->append(reinterpret_cast<const char*>(bytes), size);
    };
    WriteChannelText(isTerrestrial, store.Setup(), {append, &out});
    return out;
}

// Tokens lie inside the line, in order, each non-empty and without blanks or
// ';' (a comment is no token).
inline bool LineInBounds(const LineReader& r)
{
    if (r.tokenCount < 1 || r.tokenCount > kMaxTokens || r.lineLength < 1 || r.lineLength > kMaxLineLength)
        return false;
    const char* from = r.line;
    for (int32_t i = 0; i < r.tokenCount; ++i) {
        const char* token = r.tokens[i];
        if (token < from || token >= r.line + r.lineLength || *token == '\0')
            return false;
        for (from = token; *from != '\0'; ++from) {
            if (static_cast<uint8_t>(*from) <= 32 || *from == ';' || from >= r.line + r.lineLength)
                return false;
        }
    }
    return true;
}

// A pooled name is a row's first token: non-empty, without blanks or ';', not
// a declaration, its length byte matching and a NUL after it.
inline bool NameIsToken(const uint8_t* name)
{
    if (name[0] == 0 || name[1] == '$' || name[name[0] + 1] != '\0')
        return false;
    for (int32_t i = 1; i <= name[0]; ++i) {
        if (name[i] <= 32 || name[i] == ';')
            return false;
    }
    return true;
}

// Band numbers absent or not negative, counts within capacity, the pool within
// its bytes, every name null or a token inside the used part of the pool.
inline bool StoreInBounds(const Store& s)
{
    bool inBounds = s.pool.capacity <= kNamePoolCapacity && s.pool.used >= 0 && s.pool.used <= s.pool.capacity;
    for (int32_t space : s.space)
        inBounds = inBounds && space >= -1;
    for (const ChannelTable& t : s.table) {
        inBounds = inBounds && t.count >= 0 && t.count <= kTableCapacity;
        for (int32_t i = 0; inBounds && i < t.count; ++i) {
            const uint8_t* name = t.entries[i].name;
            inBounds = !name || (name >= s.pool.bytes && name + name[0] + 2 <= s.pool.bytes + s.pool.used &&
                                 NameIsToken(name));
        }
    }
    return inBounds;
}
