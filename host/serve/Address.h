// IPv4 addresses and host names as serve takes them: --listen HOST:PORT,
// --allow CIDR and --host NAME, and the client addresses the allow list is
// matched against. No Windows header here, so that it is tested anywhere.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

// A network: an address and how many leading bits of it must match.
struct Ipv4Net {
    uint32_t address = 0;
    int prefix = 32;
};

// Four decimal numbers 0 to 255 separated by dots, nothing else.
bool ParseIpv4(const std::string& text, uint32_t* address);
std::string Ipv4Text(uint32_t address);
// "192.168.1.0/24", or an address alone (/32). The bits past the prefix must be
// 0, so that "192.168.1.5/24" (likely a slip for one address) is refused;
// *error (when given) then says so and names the network meant.
bool ParseIpv4Net(const std::string& text, Ipv4Net* net, std::string* error = nullptr);
// "HOST:PORT" with an IPv4 address; port 0 lets the system choose one.
bool ParseListen(const std::string& text, uint32_t* address, uint16_t* port);

// A name a client may reach serve by (--host): a DNS name of letters, digits,
// dots and hyphens, or an IPv4 address; at most 253 characters.
bool ValidHostName(const std::string& name);

// 127.0.0.0/8.
bool IsLoopback(uint32_t address);

// This PC's own addresses and names, as clients may reach it.
struct LocalNames {
    std::vector<uint32_t> addresses;  // IPv4, loopback left out
    std::vector<std::string> names;   // host names, as the system gives them
};

// Whether a client at address is served: loopback and this PC's own
// addresses always (its own page, whatever --allow says), any other when
// the list is empty or one of its networks holds it.
bool AddressAllowed(const std::vector<Ipv4Net>& allow, uint32_t address, const LocalNames& local);
