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

// Clears the band numbers (all absent) and the tables' counts, then applies
// every line that the reader yields.
void ParseChannelText(LineReader* reader, bool isTerrestrial, const ChannelSetup& setup);
