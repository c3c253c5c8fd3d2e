#include "host/serve/Api.h"

#include <math.h>

#include "host/ChannelChoice.h"
#include "host/JsonOutput.h"
#include "host/Text.h"

// Members in the order written, as the README lists them.
using json = Json;

namespace {

// Decimal digits only, up to max.
bool ParseUnsigned(const std::string& text, uint32_t max, uint32_t* value)
{
    if (text.empty() || text.size() > 10)
        return false;
    uint64_t result = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        result = result * 10 + static_cast<uint64_t>(c - '0');
    }
    if (result > max)
        return false;
    *value = static_cast<uint32_t>(result);
    return true;
}

json Numbers(const std::vector<double>& values, int decimals)
{
    json out = json::array();
    for (double v : values)
        out.push_back(Rounded(v, decimals));
    return out;
}

std::string KindText(char kind)
{
    return std::string(1, kind);
}

// The channel a tuner carries or a client watches: null fields when none.
void PutChannel(json* o, bool has, char kind, const ChannelInfo& c, const std::string& base)
{
    (*o)["space"] = has ? json(c.space) : json(nullptr);
    (*o)["space_name"] = has ? json(c.spaceName) : json(nullptr);
    (*o)["channel"] = has ? json(c.channel) : json(nullptr);
    (*o)["channel_name"] = has ? json(c.name) : json(nullptr);
    (*o)["url"] = has ? json(base + StreamPath(kind, c.space, c.channel)) : json(nullptr);
}

json Serving(const PoolStatus& status, const std::string& base)
{
    json serving = json::array();
    for (const TunerStatus& t : status.tuners) {
        if (!t.tuned)
            continue;
        json o = {{"kind", KindText(t.kind)}, {"copy", t.copy}};
        PutChannel(&o, true, t.kind, t.channel, base);
        o["clients"] = t.clients;
        serving.push_back(o);
    }
    return serving;
}

}  // namespace

Route RouteOf(const std::string& path)
{
    if (path == "/")
        return Route::kPage;
    if (path == "/api/channels")
        return Route::kChannels;
    if (path == "/api/status")
        return Route::kStatus;
    if (path == "/playlist.m3u")
        return Route::kPlaylist;
    if (path.compare(0, 8, "/stream/") == 0)
        return Route::kStream;
    return Route::kNotFound;
}

int ParseStreamRequest(const std::string& path, const QueryParams& params, StreamRequest* request,
                       std::string* error)
{
    *request = StreamRequest();
    for (auto it = params.begin(); it != params.end(); ++it) {
        if (params.count(it->first) > 1) {
            *error = "the parameter " + it->first + " is given twice";
            return 400;
        }
    }
    // Segments after /stream/: K, or K/SPACE/CHANNEL.
    std::vector<std::string> parts;
    size_t from = 8;
    for (;;) {
        size_t slash = path.find('/', from);
        parts.push_back(path.substr(from, slash == std::string::npos ? std::string::npos : slash - from));
        if (slash == std::string::npos)
            break;
        from = slash + 1;
    }
    if (parts.size() != 1 && parts.size() != 3) {
        *error = "a stream is /stream/KIND/SPACE/CHANNEL or /stream/KIND?name=NAME";
        return 404;
    }
    std::string kind = FoldName(parts[0]);
    if (kind != "s" && kind != "t") {
        *error = "the kind is S (satellite) or T (terrestrial), not \"" + parts[0] + "\"";
        return 404;
    }
    request->kind = kind == "s" ? 'S' : 'T';
    auto name = params.find("name");
    auto space = params.find("space");
    auto seconds = params.find("seconds");
    if (parts.size() == 3) {
        if (!ParseUnsigned(parts[1], 0xFFFFFFFFu, &request->space) ||
            !ParseUnsigned(parts[2], 0xFFFFFFFFu, &request->channel)) {
            *error = "space and channel are whole numbers, as in /stream/S/0/1";
            return 400;
        }
        if (name != params.end() || space != params.end()) {
            *error = "name and space are for /stream/KIND?name=NAME";
            return 400;
        }
    } else {
        if (name == params.end() || name->second.empty()) {
            *error = "/stream/KIND needs ?name=NAME, a channel's name as /api/channels gives it";
            return 400;
        }
        request->byName = true;
        request->name = name->second;
        if (space != params.end()) {
            if (!ParseUnsigned(space->second, 0xFFFFFFFFu, &request->space)) {
                *error = "space is a whole number, not \"" + space->second + "\"";
                return 400;
            }
            request->haveSpace = true;
        }
    }
    if (seconds != params.end()) {
        // Up to a year.
        if (!ParseUnsigned(seconds->second, 31536000, &request->seconds) || request->seconds == 0) {
            *error = "seconds is a whole number of seconds above 0, not \"" + seconds->second + "\"";
            return 400;
        }
    }
    return 0;
}

int FindChannelByName(const std::vector<ChannelInfo>& channels, const StreamRequest& request, ChannelInfo* found,
                      std::string* error)
{
    std::vector<ListedChannel> listed;
    for (const ChannelInfo& c : channels) {
        ListedChannel l;
        l.space = c.space;
        l.spaceName = c.spaceName;
        l.channel = c.channel;
        l.name = c.name;
        listed.push_back(l);
    }
    ChoiceWords words;
    words.list = "/api/channels";
    words.giveSpace = "add &space= with the space's number";
    ChannelChoice choice = ChooseChannel(listed, request.name, request.haveSpace, request.space, words);
    if (!choice.found) {
        *error = "kind " + KindText(request.kind) + ": " + choice.error;
        return choice.code == "no_channel" ? 404 : 400;
    }
    for (const ChannelInfo& c : channels) {
        if (c.space == choice.channel.space && c.channel == choice.channel.channel && c.name == choice.channel.name)
            *found = c;
    }
    return 0;
}

std::string BaseUrl(const std::string& hostHeader, const std::string& listen)
{
    bool plain = !hostHeader.empty() && hostHeader.size() <= 255;
    for (char c : hostHeader) {
        bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
                  c == '-' || c == ':' || c == '[' || c == ']';
        plain = plain && ok;
    }
    if (plain)
        return "http://" + hostHeader;
    if (listen.compare(0, 8, "0.0.0.0:") == 0)
        return "http://127.0.0.1:" + listen.substr(8);
    return "http://" + listen;
}

std::string StreamPath(char kind, uint32_t space, uint32_t channel)
{
    return "/stream/" + KindText(kind) + "/" + std::to_string(space) + "/" + std::to_string(channel);
}

std::string ChannelsJson(const std::vector<std::pair<char, std::vector<ChannelInfo>>>& lists,
                         const std::vector<std::pair<char, std::string>>& errors, const std::string& base)
{
    json channels = json::array();
    for (const auto& list : lists) {
        for (const ChannelInfo& c : list.second) {
            channels.push_back({{"kind", KindText(list.first)},
                                {"space", c.space},
                                {"space_name", c.spaceName},
                                {"channel", c.channel},
                                {"name", c.name},
                                {"url", base + StreamPath(list.first, c.space, c.channel)}});
        }
    }
    json failures = json::array();
    for (const auto& e : errors)
        failures.push_back({{"kind", KindText(e.first)}, {"error", e.second}});
    return JsonText({{"channels", channels}, {"errors", failures}});
}

std::string PlaylistM3u(const std::vector<std::pair<char, std::vector<ChannelInfo>>>& lists, const std::string& base)
{
    // A line break would end the entry and a quote the group's attribute.
    auto clean = [](std::string text, char quote) {
        for (char& c : text)
            c = (c == '\r' || c == '\n') ? ' ' : c == '"' ? quote : c;
        return text;
    };
    std::string text = "#EXTM3U\n";
    for (const auto& list : lists) {
        for (const ChannelInfo& c : list.second) {
            std::string path = StreamPath(list.first, c.space, c.channel);
            std::string name = c.name.empty() ? path.substr(8) : clean(c.name, '"');
            text += "#EXTINF:-1 group-title=\"" + clean(c.spaceName, '\'') + "\"," + name + "\n" + base + path + "\n";
        }
    }
    return text;
}

std::string StatusJson(const PoolStatus& status, const ServerInfo& server, const std::string& base)
{
    json tuners = json::array();
    for (const TunerStatus& t : status.tuners) {
        json o = {{"copy", t.copy}, {"kind", KindText(t.kind)}, {"state", t.state}};
        PutChannel(&o, t.tuned, t.kind, t.channel, base);
        o["clients"] = t.clients;
        o["signal_db"] = t.tuned ? Rounded(t.signalDb, 2) : json(nullptr);
        o["mbps"] = t.tuned ? Rounded(t.mbps, 2) : json(nullptr);
        o["bytes"] = t.bytes;
        o["continuity_errors"] = t.continuityErrors;
        o["transport_errors"] = t.transportErrors;
        o["scrambled_packets"] = t.scrambledPackets;
        o["since"] = TextOrNull(t.since);
        o["error"] = TextOrNull(t.error);
        o["history"] = {{"signal_db", Numbers(t.signalHistory, 2)}, {"mbps", Numbers(t.mbpsHistory, 2)}};
        tuners.push_back(o);
    }
    json clients = json::array();
    for (const ClientStatus& c : status.clients) {
        json o = {{"address", c.address}, {"kind", KindText(c.kind)}};
        PutChannel(&o, true, c.kind, c.channel, base);
        o["copy"] = c.copy;
        o["bytes"] = c.bytes;
        o["queued_bytes"] = c.queuedBytes;
        o["since"] = c.since;
        o["dropped"] = c.dropped;
        clients.push_back(o);
    }
    json info = {{"folder", server.folder},
                 {"listen", server.listen},
                 {"since", server.since},
                 {"idle_seconds", server.idleSeconds},
                 {"max_clients", server.maxClients},
                 {"clients_served", status.clientsServed},
                 {"dropped_clients", status.droppedClients},
                 {"refused", status.refused}};
    return JsonText({{"server", info}, {"tuners", tuners}, {"clients", clients}});
}

std::string ErrorJson(const std::string& error)
{
    return JsonText({{"error", error}});
}

std::string BusyJson(const std::string& error, const PoolStatus& status, const std::string& base)
{
    return JsonText({{"error", error}, {"serving", Serving(status, base)}});
}

std::string ServeSummaryJson(const ServeSummary& s)
{
    json tuners = json::array();
    for (const TunerStatus& t : s.status.tuners)
        tuners.push_back({{"copy", t.copy}, {"kind", KindText(t.kind)}, {"error", TextOrNull(t.error)}});
    return JsonText({{"command", "serve"},
                 {"ok", s.error.empty()},
                 {"code", TextOrNull(s.code)},
                 {"error", TextOrNull(s.error)},
                 {"folder", s.folder},
                 {"url", TextOrNull(s.url)},
                 {"start", TextOrNull(s.start)},
                 {"end", TextOrNull(s.end)},
                 {"seconds", Rounded(s.seconds, 2)},
                 {"clients_served", s.status.clientsServed},
                 {"dropped_clients", s.status.droppedClients},
                 {"refused", s.status.refused},
                 {"tuners", tuners}});
}

std::string ServeSummaryText(const ServeSummary& s)
{
    std::string text = "served " + s.folder + " at " + s.url + " from " + s.start + " to " + s.end + " (" +
                       Fixed(s.seconds, 0) + " s)\n";
    text += "clients served: " + std::to_string(s.status.clientsServed) +
            ", dropped: " + std::to_string(s.status.droppedClients) +
            ", refused: " + std::to_string(s.status.refused) + "\n";
    return text;
}
