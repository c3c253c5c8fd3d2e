// The channel a user names, for record and serve alike: as the list shows it,
// or else without regard to case and to the width of letters and digits
// ("bs1/ts0" and "ＢＳ１/ＴＳ０" both find "BS1/TS0"); with the near misses to
// offer when no name matches. No Windows header here.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

struct ListedChannel {
    uint32_t space = 0;
    uint32_t channel = 0;
    std::string spaceName;  // UTF-8, as the host shows them
    std::string name;
};

struct ChannelChoice {
    bool found = false;
    ListedChannel channel;
    std::string code;  // when not found: "no_channel" or "ambiguous_channel"
    std::string error;
};

// How the messages send the user on: where the names are listed, and how a
// space is given.
struct ChoiceWords {
    const char* list = "list";
    const char* giveSpace = "give --space";
};

// An exact match wins over matches that differ only in case or width. With
// haveSpace, only that space is searched.
ChannelChoice ChooseChannel(const std::vector<ListedChannel>& listed, const std::string& wanted, bool haveSpace,
                            uint32_t space, const ChoiceWords& words = ChoiceWords());

// Full-width ASCII forms (U+FF01 to U+FF5E) and the ideographic space made
// ASCII, and ASCII letters made lower case; all else as it is.
std::string FoldName(const std::string& utf8);
