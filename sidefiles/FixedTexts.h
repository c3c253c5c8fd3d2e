// The driver's fixed texts. The byte texts are code page 932 with CR LF, kept
// as the exact bytes so that nothing depends on how this source is encoded;
// the wide texts for the host are UTF-16 code units for the same reason.
#pragma once

#include <stdint.h>
#include <wchar.h>

extern const uint8_t g_defaultSettingsText[115];
extern const uint8_t g_satelliteChannelText[1200];
extern const uint8_t g_terrestrialHeader[308];
extern const uint8_t g_catvHeader[92];

// One generated channel row: name, space, PT channel, and its index as a comment.
extern const char g_channelRowFormat[];

// Band keywords of a channel file, indexed by Band.
extern const char* const g_bandKeywords[4];

// Tuning space names, indexed by table: [0] UHF or BS, [1] CATV or CS110.
extern const wchar_t* const g_terrestrialSpaceNames[2];
extern const wchar_t* const g_satelliteSpaceNames[2];

// The only message the driver ever shows.
extern const wchar_t g_versionMismatchText[];
