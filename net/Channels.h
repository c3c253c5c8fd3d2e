// The channels a host is shown: the tuning spaces and channels of every
// server's /api/channels, merged. A space is a kind ("S" or "T") with the
// space's name as the servers give it; a channel is one name in a space, so
// that the same channel on several servers (same kind, space name and
// channel name) is one entry, which knows each server's own space and channel
// numbers for it. Spaces and channels keep the order in which the servers,
// taken in their order, first list them.
//
// Also the channel cache beside the DLL: each server's last answer as it
// came, so that a host started while the servers are down still lists the
// channels, with the same numbers.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <wchar.h>

#include "net/Json.h"
#include "net/Settings.h"
#include "sidefiles/WholeFile.h"

// Names handed to the host, terminator included: 31 characters, as the tuner
// plug-in's.
const size_t kNameCapacity = 32;
const uint32_t kMaxSpaces = 16;
const uint32_t kMaxChannels = 1024;

struct NetChannel {
    char kind;  // 'S' satellite, 'T' terrestrial
    wchar_t name[kNameCapacity];
    uint32_t listedBy;  // bit s: server s lists it
    uint32_t serverSpace[kMaxServers];
    uint32_t serverChannel[kMaxServers];
};

struct NetSpace {
    char kind;
    wchar_t name[kNameCapacity];
    uint32_t count;
    uint16_t channels[kMaxChannels];  // into ChannelList::channels
};

struct ChannelList {
    uint32_t spaceCount;
    NetSpace spaces[kMaxSpaces];
    uint32_t channelCount;
    NetChannel channels[kMaxChannels];
};

enum class ListAnswer {
    kBad,      // not a channel list (an error page, HTML, cut JSON)
    kPartial,  // a list, but the server could not read some kind's channels
    kWhole,
};

// Reads a server's /api/channels answer and, with a list, adds its channels
// as server's. A channel without its kind, numbers or names is skipped; what
// does not fit (more spaces or channels than the list holds) is left out.
ListAnswer AddServerChannels(ChannelList* list, int server, const char* text, size_t length, jsmntok_t* tokens,
                             unsigned capacity);
// The channel a host's space and channel numbers name, or null.
const NetChannel* FindChannel(const ChannelList& list, uint32_t space, uint32_t channel);

// The cache file: a header line, then for each server that had answered,
// "HOST:PORT", the answer's length in bytes and the answer, each followed by
// CR LF.
bool FindCachedAnswer(const char* cache, size_t size, const char* key, const char** answer, size_t* length);
void WriteCacheHeader(WholeFile* file);
void WriteCachedAnswer(WholeFile* file, const char* key, const char* answer, size_t length);
