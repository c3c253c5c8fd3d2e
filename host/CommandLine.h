// The tool's command line, read into a Command. No Windows header here, so
// that it is tested anywhere.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "host/serve/Address.h"


enum class CommandKind { kHelp, kVersion, kList, kRecord, kScan, kCheck, kInit, kServe };

// How to call the tool: every command; one command's synopsis; that and
// what the command does, for COMMAND --help.
std::string UsageText();
std::string CommandUsage(CommandKind kind);
std::string CommandHelp(CommandKind kind);

struct Command {
    CommandKind kind = CommandKind::kHelp;
    std::wstring driver;
    bool help = false;   // COMMAND --help: show what it takes, run nothing
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
    // serve: the plug-in folder (in driver), where to listen, who may connect,
    // what names it answers to, how long an unused tuner stays loaded, how many streams at once.
    uint32_t listenAddress = 0x7F000001;  // 127.0.0.1
    uint16_t listenPort = 40080;
    std::vector<Ipv4Net> allow;  // empty: every address
    std::vector<std::string> hosts;  // --host: names it answers to besides its own
    uint32_t idleSeconds = 10;
    uint32_t maxClients = 16;
};

// The most streams serve takes at once: each holds a thread of its own.
const uint32_t kMaxClientsLimit = 64;

// args: the arguments after the program name. On failure *error holds a
// one-line reason, and command->kind is the verb's when the verb was known
// (kHelp when not); the rest of *command is unspecified.
bool ParseCommandLine(const std::vector<std::wstring>& args, Command* command, std::wstring* error);
