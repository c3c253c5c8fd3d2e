// The network plug-in's settings file, beside the DLL and named after it
// (Zendrel-Net.dll: Zendrel-Net.ini): the servers, tried in order, and the
// timeouts. Every key has a default, and the defaults are what the file
// written at the first release holds.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <wchar.h>

const int kMaxServers = 8;
const size_t kHostCapacity = 128;
// "HOST:PORT", the server's name in the tuner name and in the channel cache.
const size_t kServerKeyCapacity = kHostCapacity + 8;
// serve's own default port.
const uint16_t kDefaultPort = 40080;

struct ServerAddress {
    wchar_t host[kHostCapacity];
    uint16_t port;
    char key[kServerKeyCapacity];
};

// http://HOST[:PORT][/] or HOST[:PORT], spaces around it ignored; HOST is a
// name or an IPv4 address of ASCII letters, digits, dots, hyphens and
// underscores (serve listens on IPv4 only). False for anything else (another
// scheme, a path, a port out of 1 to 65535).
bool ParseServerAddress(const wchar_t* text, ServerAddress* server);

struct Timeouts {
    uint32_t connectMs;  // a server that does not take the connection in time is passed over
    uint32_t listMs;     // the channel lists of all servers at load, in all
    uint32_t tuneMs;     // SetChannel, every server tried, in all
    uint32_t stallMs;    // a stream that brings nothing for this long counts as cut
};

// A key of [Timeouts]: its default and the range a value is held to.
struct TimeoutKey {
    const wchar_t* key;
    uint32_t Timeouts::*field;
    uint32_t defaultMs;
    uint32_t leastMs;
    uint32_t mostMs;
};
const int kTimeoutKeys = 4;
extern const TimeoutKey g_timeoutKeys[kTimeoutKeys];

extern const wchar_t g_serversSection[];
extern const wchar_t g_timeoutsSection[];
extern const wchar_t g_defaultServer[];
// Server1 to Server8.
void ServerKeyName(int index, wchar_t (&key)[8]);

Timeouts DefaultTimeouts();
uint32_t HoldToRange(const TimeoutKey& key, uint32_t value);

// The file written at the first release when there is none: ASCII, CR LF.
extern const char g_defaultNetSettingsText[];
extern const uint32_t g_defaultNetSettingsSize;
