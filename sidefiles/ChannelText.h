// The rules of a channel file, applied line by line:
//
//   $BS     0                    band declaration: BS is tuning space 0
//   BS1/TS0 0  0  0x4010         channel row: name, space, PT channel, TS ID
//
// A declaration ("$UHF", "$CATV", "$BS", "$CS110", case-sensitive) gives its
// band the space number that follows; a negative number or an unknown keyword
// makes the line count for nothing. A row belongs to the table of its space
// number as declared so far, so a row before its band's declaration is dropped.
// Terrestrial rows need three tokens (the TS ID is optional), satellite rows
// all four.
#pragma once

#include "sidefiles/ChannelStore.h"
#include "sidefiles/LineReader.h"

// What became of one line. Lines of blanks and comments only are not told.
enum LineFate {
    kLineDeclared,        // band declaration taken: event.band
    kLineKept,            // channel row appended: event.table, event.index
    kLineTableFull,       // row for event.table dropped: 64 channels there already
    kLineNoTable,         // row dropped: its space number selects no table yet
    kLineTooFewTokens,    // dropped: a row needs 3 tokens (satellite 4), a declaration 2
    kLineNegative,        // dropped: the space number (second token) is negative
    kLineUnknownKeyword,  // dropped: "$" and no band keyword
    kLineUnterminated,    // text after the last line end; the reader's line holds it
};

struct LineEvent {
    int32_t lineNumber;  // from 1
    LineFate fate;
    // The line as the rules saw it: its tokens, tooLong (cut at 255 bytes).
    const LineReader* reader;
    int32_t band;   // kLineDeclared: the Band
    int32_t table;  // kLineKept, kLineTableFull
    int32_t index;  // kLineKept: the entry's index in its table
};

// Told of every line as the rules apply it, for a tool that explains a channel
// file. The driver passes none.
struct LineObserver {
    void (*seen)(void* context, const LineEvent& event);
    void* context;
};

// Clears the band numbers (all absent) and the tables' counts, then applies
// every line that the reader yields.
void ParseChannelText(LineReader* reader, bool isTerrestrial, const ChannelSetup& setup,
                      const LineObserver* observer = nullptr);
