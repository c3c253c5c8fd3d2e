#include "host/serve/Address.h"

namespace {

// Decimal digits up to max, at least one, no sign; *pos moves past them.
bool ReadNumber(const std::string& text, size_t* pos, uint32_t max, uint32_t* value)
{
    size_t start = *pos;
    uint32_t result = 0;
    while (*pos < text.size() && text[*pos] >= '0' && text[*pos] <= '9') {
        result = result * 10 + static_cast<uint32_t>(text[*pos] - '0');
        if (result > max)
            return false;
        ++*pos;
    }
    *value = result;
    return *pos > start;
}

bool ReadIpv4(const std::string& text, size_t* pos, uint32_t* address)
{
    uint32_t result = 0;
    for (int part = 0; part < 4; ++part) {
        if (part > 0) {
            if (*pos >= text.size() || text[*pos] != '.')
                return false;
            ++*pos;
        }
        uint32_t byte = 0;
        if (!ReadNumber(text, pos, 255, &byte))
            return false;
        result = (result << 8) | byte;
    }
    *address = result;
    return true;
}

uint32_t Mask(int prefix)
{
    return prefix == 0 ? 0 : 0xFFFFFFFFu << (32 - prefix);
}

}  // namespace

bool ParseIpv4(const std::string& text, uint32_t* address)
{
    size_t pos = 0;
    return ReadIpv4(text, &pos, address) && pos == text.size();
}

std::string Ipv4Text(uint32_t address)
{
    return std::to_string(address >> 24) + "." + std::to_string((address >> 16) & 255) + "." +
           std::to_string((address >> 8) & 255) + "." + std::to_string(address & 255);
}

bool ParseIpv4Net(const std::string& text, Ipv4Net* net, std::string* error)
{
    size_t pos = 0;
    uint32_t address = 0;
    uint32_t prefix = 32;
    if (!ReadIpv4(text, &pos, &address))
        return false;
    if (pos < text.size()) {
        if (text[pos] != '/')
            return false;
        ++pos;
        if (!ReadNumber(text, &pos, 32, &prefix) || pos != text.size())
            return false;
    }
    if ((address & ~Mask(static_cast<int>(prefix))) != 0) {
        if (error != nullptr)
            *error = "the bits past the first " + std::to_string(prefix) + " of a network must be zero: " +
                     Ipv4Text(address & Mask(static_cast<int>(prefix))) + "/" + std::to_string(prefix) +
                     " is the network, " + Ipv4Text(address) + " one address alone";
        return false;
    }
    net->address = address;
    net->prefix = static_cast<int>(prefix);
    return true;
}

bool ParseListen(const std::string& text, uint32_t* address, uint16_t* port)
{
    size_t pos = 0;
    uint32_t number = 0;
    if (!ReadIpv4(text, &pos, address) || pos >= text.size() || text[pos] != ':')
        return false;
    ++pos;
    if (!ReadNumber(text, &pos, 65535, &number) || pos != text.size())
        return false;
    *port = static_cast<uint16_t>(number);
    return true;
}

bool ValidHostName(const std::string& name)
{
    if (name.empty() || name.size() > 253 || name.front() == '.' || name.front() == '-')
        return false;
    for (char c : name) {
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '-'))
            return false;
    }
    return true;
}

bool IsLoopback(uint32_t address)
{
    return (address >> 24) == 127;
}

bool AddressAllowed(const std::vector<Ipv4Net>& allow, uint32_t address, const LocalNames& local)
{
    if (allow.empty() || IsLoopback(address))
        return true;
    for (uint32_t own : local.addresses) {
        if (own == address)
            return true;
    }
    for (const Ipv4Net& net : allow) {
        if (((address ^ net.address) & Mask(net.prefix)) == 0)
            return true;
    }
    return false;
}
