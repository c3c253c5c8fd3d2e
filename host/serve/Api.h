// serve's HTTP API without the HTTP: which request is which, what a stream
// request asks for, and the JSON bodies. The field names here are the API's;
// README.md lists them and they stay as they are. No Windows header and no
// sockets here, so that it is tested anywhere.
#pragma once

#include <stdint.h>

#include <map>
#include <string>
#include <vector>

#include "host/serve/Request.h"
#include "host/serve/TunerPool.h"

enum class Route { kPage, kChannels, kStatus, kStream, kPlaylist, kNotFound };

Route RouteOf(const std::string& path);

struct StreamRequest {
    char kind = 'T';
    // By space and channel, or by name (then optionally in one space).
    bool byName = false;
    bool haveSpace = false;
    uint32_t space = 0;
    uint32_t channel = 0;
    std::string name;
    uint32_t seconds = 0;  // 0: until the client leaves
};

// Reads /stream/K/SPACE/CHANNEL or /stream/K?name=NAME[&space=S], with
// [?&]seconds=N; the kind letter in any case or width, as names are matched.
// Returns 0, or the HTTP status of the refusal (400: malformed, 404: no such
// kind) with *error.
int ParseStreamRequest(const std::string& path, const QueryParams& params, StreamRequest* request,
                       std::string* error);
// Finds a channel by name in the kind's list, as record does (exactly, else in
// any case or width). Returns 0, or 404 (none; with the near misses) or 400
// (more than one; give a space) with *error.
int FindChannelByName(const std::vector<ChannelInfo>& channels, const StreamRequest& request, ChannelInfo* found,
                      std::string* error);

// "http://HOST" as the client reached the server: the request's Host header
// when it is a plain host name or address with an optional port, else the
// address listened on (127.0.0.1 in place of 0.0.0.0).
std::string BaseUrl(const std::string& hostHeader, const std::string& listen);
std::string StreamPath(char kind, uint32_t space, uint32_t channel);

// What the status says about the server itself.
struct ServerInfo {
    std::string folder;
    std::string listen;  // "127.0.0.1:40080"
    std::string since;
    uint32_t idleSeconds = 0;
    size_t maxClients = 0;
};

// Bodies. kinds lists the kinds present in the folder; a kind whose channels
// could not be read has its error in errors.
std::string ChannelsJson(const std::vector<std::pair<char, std::vector<ChannelInfo>>>& lists,
                         const std::vector<std::pair<char, std::string>>& errors, const std::string& base);
// Every channel as an extended M3U playlist: each with its name, its space as
// its group, and its URL.
std::string PlaylistM3u(const std::vector<std::pair<char, std::vector<ChannelInfo>>>& lists, const std::string& base);
std::string StatusJson(const PoolStatus& status, const ServerInfo& server, const std::string& base);
std::string ErrorJson(const std::string& error);
// A refusal for want of a tuner or a place: the channels being served.
std::string BusyJson(const std::string& error, const PoolStatus& status, const std::string& base);

// What serve prints when it stops (with --json), and as text.
struct ServeSummary {
    std::string folder;
    std::string url;
    std::string start;
    std::string end;
    double seconds = 0;
    std::string code;   // the error's code (see the README); empty when it served
    std::string error;  // why it could not serve; empty when it did
    PoolStatus status;
};
std::string ServeSummaryJson(const ServeSummary& summary);
std::string ServeSummaryText(const ServeSummary& summary);
