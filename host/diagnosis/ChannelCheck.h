// What a channel file means to the plug-in, line by line: the rules of
// sidefiles/ run over the text with an observer, and every line's fate put
// into words, with what is not taken as written. No Windows header here.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "sidefiles/ChannelStore.h"

struct Problem {
    std::string code;  // stable, for JSON
    std::string message;
};

// The channel fields of one instance, filled by the rules.
struct ChannelTables : ChannelStorage {
    // Hosts list spaces 0, 1, ... up to the first that selects no table.
    uint32_t ListedSpaces();
    // The listed space that selects this table; -1 when none does.
    int32_t HostSpace(int32_t table);
};

// Code page 932 bytes to UTF-8, as the host will see them.
typedef std::string (*Decoder)(const std::string& bytes);

struct LineVerdict {
    int32_t line = 0;
    std::string fate;     // "declared", "kept", "disabled" or "dropped"
    std::string reason;   // dropped: a code
    std::string message;  // what happened, in words
    std::string text;     // the tokens as read, joined by a blank
    int32_t band = -1;    // declared: the Band
    int32_t space = -1;   // declared: its number; kept: the host's space, -1 = not listed
    int32_t table = -1;    // kept: table 0 or 1
    int32_t channel = -1;  // kept: index in that space
    std::string name;      // kept: the name as hosts get it
    int32_t ptChannel = -1;
    int32_t tsId = -1;
    std::vector<Problem> problems;  // taken, but not as written
};

struct ChannelVerdict {
    std::string encoding;            // "empty", "ascii", "cp932", "utf-8" or "utf-16"
    std::vector<Problem> warnings;   // about the whole text
    std::vector<LineVerdict> lines;  // lines of blanks and comments left out
    int32_t dropped = 0;
    int32_t changed = 0;   // lines taken, but not as written
    int32_t disabled = 0;  // rows whose band's declaration is commented out, on purpose
    bool declaresBand = false;
    std::unique_ptr<ChannelTables> tables;

    bool Clean() const { return dropped == 0 && changed == 0 && warnings.empty() && declaresBand; }
};

ChannelVerdict CheckChannelText(const std::string& bytes, bool isTerrestrial, Decoder decode);

// Band names as the keywords write them, without the "$".
extern const char* const kBandNames[kBandCount];
// The space name a host shows for a table.
std::string SpaceName(bool isTerrestrial, int32_t table);
