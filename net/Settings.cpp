#include "net/Settings.h"

#include "net/Text.h"

const wchar_t g_serversSection[] = L"Servers";
const wchar_t g_timeoutsSection[] = L"Timeouts";
const wchar_t g_defaultServer[] = L"http://127.0.0.1:40080/";

const TimeoutKey g_timeoutKeys[kTimeoutKeys] = {
    {L"ConnectMs", &Timeouts::connectMs, 1000, 100, 30000},
    {L"ListMs", &Timeouts::listMs, 3000, 500, 30000},
    {L"TuneMs", &Timeouts::tuneMs, 5000, 500, 60000},
    {L"StallMs", &Timeouts::stallMs, 3000, 500, 60000},
};

// The defaults above, explained for the user who opens the file.
const char g_defaultNetSettingsText[] =
    "; The network plug-in's settings. It takes its tuners from zendrel-host\r\n"
    "; serve, on this PC or on other PCs of the network.\r\n"
    ";\r\n"
    "; [Servers] Server1 to Server8: the servers, tried in this order, each as\r\n"
    "; http://HOST:PORT/ (port 40080 when left out). With none,\r\n"
    "; http://127.0.0.1:40080/, a serve on this PC.\r\n"
    ";\r\n"
    "; [Timeouts] in milliseconds:\r\n"
    ";   ConnectMs  a server that does not take the connection within this is\r\n"
    ";              passed over (100 to 30000)\r\n"
    ";   ListMs     the channel lists of all servers at load, in all; a server\r\n"
    ";              not heard from by then is listed from the last list read\r\n"
    ";              (500 to 30000)\r\n"
    ";   TuneMs     a channel change, every server tried, in all (500 to 60000)\r\n"
    ";   StallMs    a stream that brings nothing for this long is tuned again\r\n"
    ";              (500 to 60000)\r\n"
    "\r\n"
    "[Servers]\r\n"
    "Server1=http://127.0.0.1:40080/\r\n"
    "\r\n"
    "[Timeouts]\r\n"
    "ConnectMs=1000\r\n"
    "ListMs=3000\r\n"
    "TuneMs=5000\r\n"
    "StallMs=3000\r\n";
const uint32_t g_defaultNetSettingsSize = sizeof g_defaultNetSettingsText - 1;

namespace {

bool HostCharacter(wchar_t c)
{
    return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9') || c == L'.' ||
           c == L'-' || c == L'_';
}

wchar_t Lower(wchar_t c)
{
    return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}

}  // namespace

bool ParseServerAddress(const wchar_t* text, ServerAddress* server)
{
    size_t begin = 0;
    size_t end = WideLength(text);
    while (begin < end && (text[begin] == L' ' || text[begin] == L'\t'))
        ++begin;
    while (end > begin && (text[end - 1] == L' ' || text[end - 1] == L'\t'))
        --end;
    static const wchar_t kScheme[] = L"http://";
    size_t at = begin;
    size_t i = 0;
    while (kScheme[i] != L'\0' && at + i < end && Lower(text[at + i]) == kScheme[i])
        ++i;
    if (kScheme[i] == L'\0')
        at += i;
    // Any other scheme (https:// among them) is not served.
    for (size_t c = at; c + 2 < end; ++c)
        if (text[c] == L':' && text[c + 1] == L'/' && text[c + 2] == L'/')
            return false;

    size_t hostBegin = at;
    while (at < end && HostCharacter(text[at]))
        ++at;
    size_t hostEnd = at;
    if (hostEnd == hostBegin || hostEnd - hostBegin >= kHostCapacity)
        return false;
    uint32_t port = kDefaultPort;
    if (at < end && text[at] == L':') {
        size_t digits = ++at;
        char number[6];
        while (at < end && at - digits < 6 && text[at] >= L'0' && text[at] <= L'9') {
            number[at - digits] = static_cast<char>(text[at]);
            ++at;
        }
        if (!ParseUnsignedText(number, at - digits, 65535, &port) || port == 0)
            return false;
    }
    if (at < end && text[at] == L'/')
        ++at;
    if (at != end)
        return false;

    for (size_t c = hostBegin; c < hostEnd; ++c) {
        server->host[c - hostBegin] = text[c];
        server->key[c - hostBegin] = static_cast<char>(text[c]);
    }
    server->host[hostEnd - hostBegin] = L'\0';
    server->port = static_cast<uint16_t>(port);
    size_t key = hostEnd - hostBegin;
    server->key[key++] = ':';
    char digits[5];
    int count = 0;
    do {
        digits[count++] = static_cast<char>('0' + port % 10);
        port /= 10;
    } while (port != 0);
    while (count > 0)
        server->key[key++] = digits[--count];
    server->key[key] = '\0';
    return true;
}

void ServerKeyName(int index, wchar_t (&key)[8])
{
    WideField field = StartField(key, 8);
    AppendText(&field, L"Server");
    AppendUnsigned(&field, static_cast<uint32_t>(index + 1));
}

Timeouts DefaultTimeouts()
{
    Timeouts timeouts;
    for (const TimeoutKey& key : g_timeoutKeys)
        timeouts.*key.field = key.defaultMs;
    return timeouts;
}

uint32_t HoldToRange(const TimeoutKey& key, uint32_t value)
{
    return value < key.leastMs ? key.leastMs : value > key.mostMs ? key.mostMs : value;
}
