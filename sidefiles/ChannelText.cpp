#include "sidefiles/ChannelText.h"

#include <string.h>

#include "sidefiles/FixedTexts.h"

void ParseChannelText(LineReader* reader, bool isTerrestrial, const ChannelSetup& setup)
{
    for (int32_t band = 0; band < kBandCount; ++band)
        *setup.bandSpace[band] = -1;
    setup.bandTable[0].count = 0;
    setup.bandTable[1].count = 0;

    const int32_t minRowTokens = isTerrestrial ? 3 : 4;
    while (ReadLine(reader)) {
        char** tokens = reader->tokens;
        if (reader->tokenCount < 2)
            continue;
        int32_t space = ReadNumber(tokens[1]);
        if (space < 0)
            continue;
        if (tokens[0][0] == '$') {
            for (int32_t band = 0; band < kBandCount; ++band) {
                if (strcmp(tokens[0], g_bandKeywords[band]) == 0) {
                    *setup.bandSpace[band] = space;
                    break;
                }
            }
            continue;
        }
        if (reader->tokenCount < minRowTokens)
            continue;
        int32_t table = TableForSpace(setup, static_cast<uint32_t>(space));
        if (table < 0)
            continue;
        uint8_t ptChannel = static_cast<uint8_t>(ReadNumber(tokens[2]));
        uint16_t tsId = reader->tokenCount > 3 ? static_cast<uint16_t>(ReadNumber(tokens[3])) : 0;
        AppendChannel(&setup.bandTable[table], setup.namePool, tokens[0], ptChannel, tsId);
    }
}
