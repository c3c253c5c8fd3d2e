#include "sidefiles/LineReader.h"

#include <string.h>

namespace {

bool IsBlank(uint8_t c) { return c <= 32; }

// Every CR and LF is passed here, between lines, since a line ends before its
// CR or LF.
void PassBlank(LineReader* r, uint8_t c)
{
    if (c == '\r' || (c == '\n' && !r->afterCr))
        ++r->lineEnds;
    r->afterCr = (c == '\r');
}

// Makes the next byte available at buffer[position], reading the next chunk
// when the buffer is used up. False when the text is exhausted.
bool Fill(LineReader* r)
{
    while (r->position >= r->bufferLength) {
        if (r->atEnd || r->file.read == nullptr) {
            r->atEnd = true;
            r->bufferLength = 0;
            r->position = 0;
            return false;
        }
        int32_t chunk = r->chunkSize;
        if (chunk <= 0 || chunk > kChunkSize)
            chunk = kChunkSize;
        int32_t got = r->file.read(r->file.context, r->buffer, chunk);
        if (got < 0)
            got = 0;
        if (got > chunk)
            got = chunk;
        r->bufferLength = got;
        r->position = 0;
        r->atEnd = (got != chunk);
    }
    return true;
}

// Copies the line at position into line, up to its CR or LF, which stays in
// the buffer. False when the text ends before the line does. Each chunk's
// part of the line is found first and copied in one piece: the bytes beyond
// the 255th are passed over, not copied.
bool CopyLine(LineReader* r)
{
    for (;;) {
        if (!Fill(r))
            return false;
        const uint8_t* start = r->buffer + r->position;
        const uint8_t* end = r->buffer + r->bufferLength;
        const uint8_t* stop = start;
        // Most bytes lie above CR, the larger of the two line ends.
        while (stop < end && (*stop > '\r' || (*stop != '\r' && *stop != '\n')))
            ++stop;
        int32_t run = static_cast<int32_t>(stop - start);
        int32_t room = kMaxLineLength - r->lineLength;
        int32_t take = run < room ? run : room;
        memcpy(r->line + r->lineLength, start, static_cast<size_t>(take));
        r->lineLength += take;
        if (r->lineLength == kMaxLineLength)
            r->tooLong = true;
        r->position += run;
        if (stop < end)
            return true;
    }
}

void SplitTokens(LineReader* r)
{
    r->line[r->lineLength] = '\0';
    r->tokens[0] = r->line;
    r->tokenCount = 1;
    bool inToken = true;
    for (int32_t i = 1; i < r->lineLength; ++i) {
        uint8_t c = static_cast<uint8_t>(r->line[i]);
        if (inToken) {
            if (IsBlank(c)) {
                r->line[i] = '\0';
                inToken = false;
                if (r->tokenCount == kMaxTokens)
                    break;
            }
        } else if (!IsBlank(c)) {
            r->tokens[r->tokenCount++] = &r->line[i];
            inToken = true;
        }
    }
}

int DigitValue(uint8_t c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'Z')
        return c - 'A' + 10;
    return 99;
}

}  // namespace

void PlaceText(LineReader* reader, const uint8_t* text, int32_t length)
{
    if (length > kChunkSize)
        length = kChunkSize;
    memcpy(reader->buffer, text, length);
    reader->buffer[length] = 0;
    reader->bufferLength = length;
    reader->position = 0;
    reader->atEnd = true;
}

bool ReadLine(LineReader* r)
{
    r->tokenCount = 0;
    memset(r->tokens, 0, sizeof r->tokens);
    for (;;) {
        r->lineLength = 0;
        r->tooLong = false;
        while (Fill(r) && IsBlank(r->buffer[r->position]))
            PassBlank(r, r->buffer[r->position++]);
        r->afterCr = false;
        if (!CopyLine(r))
            return false;  // an unfinished last line is no line
        const void* comment = memchr(r->line, ';', r->lineLength);
        if (comment)
            r->lineLength = static_cast<int32_t>(static_cast<const char*>(comment) - r->line);
        if (r->lineLength > 0)
            break;
    }
    SplitTokens(r);
    return true;
}

int32_t ReadNumber(const char* token, const char** end)
{
    const uint8_t* p = reinterpret_cast<const uint8_t*>(token);
    while (*p == ' ' || (*p >= '\t' && *p <= '\r'))
        ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') {
        negative = (*p == '-');
        ++p;
    }
    int base = 10;
    if (p[0] == '0') {
        if ((p[1] == 'x' || p[1] == 'X') && DigitValue(p[2]) < 16) {
            base = 16;
            p += 2;
        } else {
            base = 8;
        }
    }
    // Saturates just past the largest magnitude that matters (2^31).
    uint32_t magnitude = 0;
    const uint8_t* digits = p;
    for (; DigitValue(*p) < base; ++p) {
        uint64_t next = static_cast<uint64_t>(magnitude) * base + DigitValue(*p);
        magnitude = next > 0x80000000u ? 0x80000001u : static_cast<uint32_t>(next);
    }
    if (end != nullptr)
        *end = p == digits ? token : reinterpret_cast<const char*>(p);
    if (negative)
        return magnitude >= 0x80000000u ? INT32_MIN : -static_cast<int32_t>(magnitude);
    return magnitude > 0x7FFFFFFFu ? INT32_MAX : static_cast<int32_t>(magnitude);
}
