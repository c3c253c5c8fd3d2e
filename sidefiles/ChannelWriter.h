// The channel file written at release for the user to edit, when none was read
// at load: the built-in list on a satellite tuner; on a terrestrial tuner the
// board's channels under fixed headers, UHF rows first, then the CATV rows,
// whose declaration the header leaves disabled.
#pragma once

#include <stdint.h>

#include "sidefiles/ChannelStore.h"

// Where the text goes: write is called once per fixed text and once per row.
struct ByteSink {
    void (*write)(void* context, const uint8_t* bytes, uint32_t size);
    void* context;
};

const int32_t kRowBufferSize = 256;

// One generated row: the name, the space number, the PT channel and, as a
// comment, the row's index within its table. Returns its length in bytes,
// without the terminating NUL (at most kRowBufferSize - 1; a longer row is cut).
int32_t FormatChannelRow(char (&row)[kRowBufferSize], const char* name, int32_t space,
                         uint8_t ptChannel, int32_t index);

void WriteChannelText(bool isTerrestrial, const ChannelSetup& setup, ByteSink sink);
