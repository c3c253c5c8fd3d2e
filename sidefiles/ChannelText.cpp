#include "sidefiles/ChannelText.h"

#include <string.h>

#include "sidefiles/FixedTexts.h"

namespace {

void Tell(const LineObserver* observer, const LineReader* reader, LineFate fate, int32_t band = -1,
          int32_t table = -1, int32_t index = -1)
{
    if (observer == nullptr)
        return;
    LineEvent event = {reader->lineEnds + 1, fate, reader, band, table, index};
    observer->seen(observer->context, event);
}

// Text after the last line end is no line; told only when it holds more than
// blanks and comment.
void TellUnterminated(const LineObserver* observer, const LineReader* reader)
{
    if (observer == nullptr)
        return;
    for (int32_t i = 0; i < reader->lineLength && reader->line[i] != ';'; ++i) {
        if (static_cast<uint8_t>(reader->line[i]) > 32) {
            Tell(observer, reader, kLineUnterminated);
            return;
        }
    }
}

}  // namespace

void ParseChannelText(LineReader* reader, bool isTerrestrial, const ChannelSetup& setup,
                      const LineObserver* observer)
{
    for (int32_t band = 0; band < kBandCount; ++band)
        *setup.bandSpace[band] = -1;
    setup.bandTable[0].count = 0;
    setup.bandTable[1].count = 0;

    const int32_t minRowTokens = isTerrestrial ? 3 : 4;
    while (ReadLine(reader)) {
        char** tokens = reader->tokens;
        if (reader->tokenCount < 2) {
            Tell(observer, reader, kLineTooFewTokens);
            continue;
        }
        int32_t space = ReadNumber(tokens[1]);
        if (space < 0) {
            Tell(observer, reader, kLineNegative);
            continue;
        }
        if (tokens[0][0] == '$') {
            int32_t band = 0;
            while (band < kBandCount && strcmp(tokens[0], g_bandKeywords[band]) != 0)
                ++band;
            if (band < kBandCount) {
                *setup.bandSpace[band] = space;
                Tell(observer, reader, kLineDeclared, band);
            } else {
                Tell(observer, reader, kLineUnknownKeyword);
            }
            continue;
        }
        if (reader->tokenCount < minRowTokens) {
            Tell(observer, reader, kLineTooFewTokens);
            continue;
        }
        int32_t table = TableForSpace(setup, static_cast<uint32_t>(space));
        if (table < 0) {
            Tell(observer, reader, kLineNoTable);
            continue;
        }
        uint8_t ptChannel = static_cast<uint8_t>(ReadNumber(tokens[2]));
        uint16_t tsId = reader->tokenCount > 3 ? static_cast<uint16_t>(ReadNumber(tokens[3])) : 0;
        int32_t index = setup.bandTable[table].count;
        AppendChannel(&setup.bandTable[table], setup.namePool, tokens[0], ptChannel, tsId);
        bool kept = setup.bandTable[table].count > index;
        Tell(observer, reader, kept ? kLineKept : kLineTableFull, -1, table, index);
    }
    TellUnterminated(observer, reader);
}
