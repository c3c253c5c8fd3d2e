// The verdict on one copy of the plug-in: which side files its name selects,
// what the plug-in makes of them, whether the board lets it load, and the one
// most likely reason when it would not, in the words check shows and every
// command that meets a copy that does not load repeats. The facts are
// gathered by the Windows side (Diagnosis); the reasoning and the wording are
// here, without any Windows header.
#pragma once

#include <string>
#include <vector>

#include "host/diagnosis/ChannelCheck.h"

// What the plug-in derives from its own full path.
struct SideFileNames {
    bool ok = false;
    std::string why;  // when not ok: why the plug-in refuses to load
    bool isTerrestrial = true;
    char kindLetter = 0;  // 'S', 's', 'T', 't' or 0 for none
    int32_t tunerDigit = -1;
    std::wstring settingsPath;
    std::wstring channelPath;
    std::wstring legacyPath;
};
SideFileNames LocateSideFiles(const std::wstring& modulePath);

// The side files as the plug-in would find them; nothing is changed to learn it.
struct SideFileFacts {
    bool pluginExists = true;  // the DLL itself, as a file
    bool settingsExists = false;
    int32_t outLnb = 0;    // as the plug-in reads them, defaults when missing
    int32_t autoMake = 1;
    bool channelExists = false;
    bool legacyExists = false;
    bool channelRead = false;  // opened and read as the plug-in opens it
    std::string channelError;  // why it could not be opened
    std::string channelBytes;
    // Whether new files can be made in the plug-in's folder, asked only when
    // the plug-in would make one (a side file to write, a legacy file to
    // rename): 1 yes, 0 no (folderError says why), -1 not asked.
    int32_t folderWritable = -1;
    std::string folderError;
};

// The board library as the plug-in would meet it. Filled only with --board
// or when the plug-in failed to load.
struct BoardFacts {
    struct Tuner {
        std::string name;
        bool free;
    };
    bool probed = false;
    std::string library;  // the file loaded; empty when none could be
    std::string error;    // why none could be
    int32_t version = 0;
    int32_t boards = 0;
    std::vector<Tuner> tried;  // in the plug-in's order, up to the one it takes
    std::string tuner;         // the tuner this copy takes; empty = none
    // The board's channel list, read through that tuner, when the plug-in
    // would build its list from it.
    bool haveChannelList = false;
    std::vector<std::string> channelNames;
};

struct Judgement {
    std::wstring modulePath;
    SideFileNames names;
    SideFileFacts files;
    BoardFacts board;
    // Where the channel list comes from: "file", "legacy" (renamed at load
    // and read), "built-in", "board".
    std::string source;
    ChannelVerdict channels;
    int loads = -1;     // 1 yes, 0 no, -1 cannot tell without the board
    std::string cause;  // why it would not load, in one line
};

Judgement Judge(const std::wstring& modulePath, const SideFileNames& names, const SideFileFacts& files,
                const BoardFacts& board, Decoder decode);

std::string TunerKind(bool isTerrestrial);
// The tuner a digit pins: "board 3, tuner 2".
std::string PinnedTuner(int32_t digit);
