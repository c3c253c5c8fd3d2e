// The tool's command line, read into a Command. No Windows header here, so
// that it is tested anywhere.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

extern const char kUsage[];

enum class CommandKind { kHelp, kVersion, kList, kRecord, kScan, kCheck, kInit };

struct Command {
    CommandKind kind = CommandKind::kHelp;
    std::wstring driver;
    bool json = false;
    bool force = false;  // record, scan: an existing output file may be replaced
    bool board = false;  // check: ask the board library too
    // record. A channel is named by --space and its index, or by its name
    // (channelName) in --space or, without it, in any space.
    bool haveSpace = false;
    uint32_t space = 0;
    uint32_t channel = 0;
    std::wstring channelName;
    uint32_t seconds = 0;  // exactly one of seconds and bytes is non-zero
    uint64_t bytes = 0;
    std::wstring out;  // "-": standard output
    // scan: where to write the channels found; empty = nowhere.
    std::wstring writeChannels;
};

// args: the arguments after the program name. On failure *error holds a
// one-line reason, and command->kind is the verb's when the verb was known
// (kHelp when not); the rest of *command is unspecified.
bool ParseCommandLine(const std::vector<std::wstring>& args, Command* command, std::wstring* error);
