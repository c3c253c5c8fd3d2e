// IPv4 addresses as serve takes them: --listen HOST:PORT and --allow CIDR, and
// the client addresses the allow list is matched against. No Windows header
// here, so that it is tested anywhere.
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
// 0, so that "192.168.1.5/24" (likely a slip for one address) is refused.
bool ParseIpv4Net(const std::string& text, Ipv4Net* net);
// "HOST:PORT" with an IPv4 address; port 0 lets the system choose one.
bool ParseListen(const std::string& text, uint32_t* address, uint16_t* port);

// True when the list is empty or remote (a client's address as text) lies in
// one of the networks. An address that is no IPv4 address is never allowed by
// a list.
bool AddressAllowed(const std::vector<Ipv4Net>& allow, const std::string& remote);
