// What serve decides about a request before it routes it: its target decoded
// into a path and parameters, whether its Host names this server, and whether
// a browser says a page of another site made it. A web page the user visits
// could otherwise reach a server on 127.0.0.1 through a name of its own that
// it points at 127.0.0.1 (DNS rebinding), read the status and take tuners.
// No Windows header and no sockets here, so that it is tested anywhere.
#pragma once

#include <stdint.h>

#include <map>
#include <string>
#include <vector>

#include "host/serve/Address.h"

// The query parameters of a request, decoded.
using QueryParams = std::multimap<std::string, std::string>;

// Splits a request target ("/stream/S?name=BS%201") into its path and its
// parameters, both percent-decoded ('+' is a space in a parameter). False,
// with *error, when the target is no path, an escape is broken, a decoded
// byte is NUL, or a parameter is given twice (with whatever values).
bool ParseTarget(const std::string& target, std::string* path, QueryParams* params, std::string* error);

// The host of a Host header without its port, in lower case and without a
// trailing dot. False when the header is no host name, IPv4 address or
// bracketed IPv6 address with an optional port.
bool HostOfHeader(const std::string& header, std::string* host);

// Whether host (as HostOfHeader gives it) names this server: any loopback
// address, "localhost", "[::1]", the address listened on, one of this PC's
// addresses or names (NAME.local too), or one of extra (--host).
bool HostAccepted(const std::string& host, uint32_t listenAddress, const LocalNames& local,
                  const std::vector<std::string>& extra);

// What a browser says of where a request comes from; players send none of it.
struct BrowserMarks {
    std::string fetchSite;  // Sec-Fetch-Site
    std::string fetchMode;  // Sec-Fetch-Mode
    std::string origin;     // Origin
};

// Whether a browser marks the request as made by another page than this
// server's own: Sec-Fetch-Site other than "same-origin" or "none" (typed or
// bookmarked), or an Origin other than http://HOST. A browser's navigation
// to the status page itself is let through from anywhere, since its answer
// goes to the user's window and never to the page that linked it.
bool FromAnotherPage(const BrowserMarks& marks, const std::string& hostHeader, bool statusPage);
