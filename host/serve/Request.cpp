#include "host/serve/Request.h"

#include "host/Text.h"

namespace {

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool Decode(const std::string& text, bool plusIsSpace, std::string* out)
{
    out->clear();
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '%') {
            if (i + 2 >= text.size())
                return false;
            int high = HexDigit(text[i + 1]);
            int low = HexDigit(text[i + 2]);
            if (high < 0 || low < 0)
                return false;
            c = static_cast<char>(high * 16 + low);
            i += 2;
        } else if (c == '+' && plusIsSpace) {
            c = ' ';
        }
        if (c == '\0')
            return false;
        *out += c;
    }
    return true;
}

bool SameName(const std::string& host, std::string name)
{
    name = AsciiLower(name);
    while (!name.empty() && name.back() == '.')
        name.pop_back();
    return !name.empty() && host == name;
}

}  // namespace

bool ParseTarget(const std::string& target, std::string* path, QueryParams* params, std::string* error)
{
    params->clear();
    if (target.empty() || target[0] != '/') {
        *error = "the request's target is no path on this server";
        return false;
    }
    size_t question = target.find('?');
    if (!Decode(target.substr(0, question), false, path)) {
        *error = "the path holds a broken %-escape";
        return false;
    }
    if (question == std::string::npos)
        return true;
    std::string query = target.substr(question + 1);
    for (size_t from = 0; from <= query.size();) {
        size_t amp = query.find('&', from);
        std::string pair = query.substr(from, amp == std::string::npos ? std::string::npos : amp - from);
        from = amp == std::string::npos ? query.size() + 1 : amp + 1;
        if (pair.empty())
            continue;
        size_t equals = pair.find('=');
        std::string key, value;
        if (!Decode(pair.substr(0, equals), true, &key) ||
            (equals != std::string::npos && !Decode(pair.substr(equals + 1), true, &value))) {
            *error = "a parameter holds a broken %-escape";
            return false;
        }
        if (params->count(key) != 0) {
            *error = "the parameter " + key + " is given twice";
            return false;
        }
        params->emplace(key, value);
    }
    return true;
}

bool HostOfHeader(const std::string& header, std::string* host)
{
    std::string name = header;
    // The port: digits after the last colon, past a bracketed address.
    size_t colon = name.rfind(':');
    size_t bracket = name.rfind(']');
    if (colon != std::string::npos && (bracket == std::string::npos || colon > bracket)) {
        std::string port = name.substr(colon + 1);
        if (port.empty() || port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos)
            return false;
        name.resize(colon);
    }
    if (name.size() >= 2 && name.front() == '[' && name.back() == ']') {
        if (name.find_first_not_of("0123456789abcdefABCDEF:.", 1) != name.size() - 1)
            return false;
    } else {
        while (!name.empty() && name.back() == '.')
            name.pop_back();
        if (!ValidHostName(name))
            return false;
    }
    *host = AsciiLower(name);
    return true;
}

bool HostAccepted(const std::string& host, uint32_t listenAddress, const LocalNames& local,
                  const std::vector<std::string>& extra)
{
    uint32_t address = 0;
    if (ParseIpv4(host, &address)) {
        if (IsLoopback(address) || (address == listenAddress && address != 0))
            return true;
        for (uint32_t own : local.addresses) {
            if (own == address)
                return true;
        }
    }
    if (host == "localhost" || host == "[::1]")
        return true;
    for (const std::string& name : local.names) {
        if (SameName(host, name) || SameName(host, name + ".local"))
            return true;
    }
    for (const std::string& name : extra) {
        if (SameName(host, name))
            return true;
    }
    return false;
}

bool FromAnotherPage(const BrowserMarks& marks, const std::string& hostHeader, bool statusPage)
{
    if (statusPage && marks.fetchMode == "navigate" && marks.origin.empty())
        return false;
    std::string site = AsciiLower(marks.fetchSite);
    if (!site.empty() && site != "same-origin" && site != "none")
        return true;
    return !marks.origin.empty() && AsciiLower(marks.origin) != "http://" + AsciiLower(hostHeader);
}
