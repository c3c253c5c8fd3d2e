#include "host/serve/LocalNames.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <iphlpapi.h>
#include <windows.h>

#include <algorithm>
#include <vector>

#include "host/Console.h"

namespace {

void AddName(LocalNames* local, COMPUTER_NAME_FORMAT format)
{
    wchar_t name[256];
    DWORD size = sizeof name / sizeof name[0];
    if (!GetComputerNameExW(format, name, &size) || size == 0)
        return;
    std::string text = ToUtf8(std::wstring(name, size));
    if (std::find(local->names.begin(), local->names.end(), text) == local->names.end())
        local->names.push_back(text);
}

}  // namespace

LocalNames ReadLocalNames()
{
    LocalNames local;
    AddName(&local, ComputerNameDnsHostname);
    AddName(&local, ComputerNameDnsFullyQualified);
    AddName(&local, ComputerNameNetBIOS);
    // The size the call asks for, once more if the adapters changed between
    // the two calls.
    const ULONG flags = GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER;
    ULONG size = 16 * 1024;
    std::vector<unsigned char> buffer;
    ULONG result = ERROR_BUFFER_OVERFLOW;
    for (int attempt = 0; attempt < 3 && result == ERROR_BUFFER_OVERFLOW; ++attempt) {
        buffer.resize(size);
        result = GetAdaptersAddresses(AF_INET, flags, nullptr, reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()),
                                      &size);
    }
    if (result != NO_ERROR)
        return local;
    for (auto* a = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()); a != nullptr; a = a->Next) {
        if (a->OperStatus != IfOperStatusUp)
            continue;
        for (IP_ADAPTER_UNICAST_ADDRESS* u = a->FirstUnicastAddress; u != nullptr; u = u->Next) {
            if (u->Address.lpSockaddr == nullptr || u->Address.lpSockaddr->sa_family != AF_INET)
                continue;
            uint32_t address = ntohl(reinterpret_cast<sockaddr_in*>(u->Address.lpSockaddr)->sin_addr.s_addr);
            if (!IsLoopback(address) &&
                std::find(local.addresses.begin(), local.addresses.end(), address) == local.addresses.end())
                local.addresses.push_back(address);
        }
    }
    return local;
}
