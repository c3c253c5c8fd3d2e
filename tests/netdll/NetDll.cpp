#include "tests/netdll/NetDll.h"

std::string ChannelsJson(const std::vector<std::string>& names)
{
    std::string text = "{\"channels\":[";
    for (size_t i = 0; i < names.size(); ++i)
        text += std::string(i ? "," : "") + "{\"kind\":\"S\",\"space\":0,\"space_name\":\"BS\",\"channel\":" +
                std::to_string(i) + ",\"name\":\"" + names[i] + "\",\"url\":\"\"}";
    return text + "],\"errors\":[]}";
}

std::string Packets(int count, int first)
{
    std::string bytes;
    for (int p = 0; p < count; ++p) {
        bytes += '\x47';
        bytes += std::string(187, static_cast<char>(first + p));
    }
    return bytes;
}

LARGE_INTEGER Now()
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now;
}

double MsSince(LARGE_INTEGER start)
{
    LARGE_INTEGER now = Now(), frequency;
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(now.QuadPart - start.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

std::string GetText(uint16_t port, const std::string& path)
{
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    DWORD timeout = 5000;
    setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
    std::string answer;
    if (connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
        std::string request = "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
                              "\r\nConnection: close\r\n\r\n";
        send(s, request.data(), static_cast<int>(request.size()), 0);
        char buffer[4096];
        int n = 0;
        while ((n = recv(s, buffer, sizeof buffer, 0)) > 0)
            answer.append(buffer, static_cast<size_t>(n));
    }
    closesocket(s);
    size_t body = answer.find("\r\n\r\n");
    return body == std::string::npos ? "" : answer.substr(body + 4);
}

std::string SettingsText(const std::vector<std::string>& servers, const std::string& timeouts)
{
    std::string settings = "[Servers]\r\n";
    for (size_t i = 0; i < servers.size(); ++i)
        settings += "Server" + std::to_string(i + 1) + "=" + servers[i] + "\r\n";
    return settings + "[Timeouts]\r\nConnectMs=500\r\nListMs=2000\r\n" + timeouts;
}

NetHost::NetHost(const Folder& folder, const std::wstring& name, const std::vector<std::string>& servers,
                 const std::string& timeouts)
{
    // A copy that is there, maybe still loaded, is taken as it is.
    if (folder.Exists(name)) {
        m_path = folder.Path(name);
        return;
    }
    m_path = folder.AddPlugin(name, L"Zendrel-Net.dll");
    std::wstring stem = name.substr(0, name.rfind(L'.'));
    folder.Write(stem + L".ini", SettingsText(servers, timeouts));
}

NetHost::~NetHost()
{
    ReleaseAndUnload();
}

bool NetHost::Load()
{
    m_module = LoadLibraryW(m_path.c_str());
    if (m_module == nullptr)
        return false;
    typedef void*(__cdecl * Create)(void);
    Create create = reinterpret_cast<Create>(reinterpret_cast<void*>(GetProcAddress(m_module, "CreateBonDriver")));
    m_driver = create != nullptr ? create() : nullptr;
    return m_driver != nullptr;
}

void NetHost::ReleaseAndUnload()
{
    if (m_driver != nullptr)
        driver().Release();
    m_driver = nullptr;
    if (m_module != nullptr)
        FreeLibrary(m_module);
    m_module = nullptr;
}

bool NetHost::StillLoaded() const
{
    return GetModuleHandleW(m_path.c_str()) != nullptr;
}

std::string NetHost::Read(size_t count, uint32_t limitMs)
{
    std::string bytes;
    LARGE_INTEGER start = Now();
    while (bytes.size() < count && MsSince(start) < limitMs) {
        if (driver().WaitTsStream(100) == 0)
            continue;
        BYTE buffer[65536];
        DWORD size = sizeof buffer, remain = 0;
        if (driver().GetTsStream(buffer, &size, &remain))
            bytes.append(reinterpret_cast<char*>(buffer), size);
    }
    return bytes;
}
