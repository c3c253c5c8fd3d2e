#include "testsupport/ScriptedServer.h"

#include <stdio.h>

namespace {

struct WinsockUp {
    WinsockUp()
    {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
    }
};

void StartWinsock()
{
    static WinsockUp up;
}

SOCKET Listen(uint16_t* port)
{
    StartWinsock();
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    int size = sizeof address;
    if (bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(s, 16) != 0 ||
        getsockname(s, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        closesocket(s);
        return INVALID_SOCKET;
    }
    *port = ntohs(address.sin_port);
    return s;
}

bool SendAll(SOCKET socket, const std::string& bytes)
{
    size_t sent = 0;
    while (sent < bytes.size()) {
        int n = send(socket, bytes.data() + sent, static_cast<int>(bytes.size() - sent), 0);
        if (n <= 0)
            return false;
        sent += static_cast<size_t>(n);
    }
    return true;
}

std::string Chunk(const std::string& bytes)
{
    char size[16];
    snprintf(size, sizeof size, "%zx\r\n", bytes.size());
    return size + bytes + "\r\n";
}

}  // namespace

ScriptedServer::ScriptedServer(std::function<Reply(const std::string& path, int index)> script)
    : m_script(script)
{
    m_listener = Listen(&m_port);
    m_acceptor = std::thread([this] { Accept(); });
}

ScriptedServer::~ScriptedServer()
{
    Stop();
}

std::string ScriptedServer::Url() const
{
    return "http://127.0.0.1:" + std::to_string(m_port) + "/";
}

std::vector<std::string> ScriptedServer::Requests()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_requests;
}

int ScriptedServer::Open()
{
    return m_open.load();
}

void ScriptedServer::Stop()
{
    if (m_stopping.exchange(true))
        return;
    closesocket(m_listener);
    m_acceptor.join();
    std::vector<std::thread> connections;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (SOCKET s : m_sockets)
            shutdown(s, SD_BOTH);
        connections.swap(m_connections);
    }
    for (std::thread& t : connections)
        t.join();
}

void ScriptedServer::Accept()
{
    for (int index = 0;; ++index) {
        SOCKET s = accept(m_listener, nullptr, nullptr);
        if (s == INVALID_SOCKET)
            return;
        std::lock_guard<std::mutex> lock(m_mutex);
        m_sockets.push_back(s);
        ++m_open;
        m_connections.emplace_back([this, s, index] { Answer(s, index); });
    }
}

void ScriptedServer::Answer(SOCKET socket, int index)
{
    std::string head;
    char c = 0;
    while (head.size() < 16384 && head.find("\r\n\r\n") == std::string::npos && recv(socket, &c, 1, 0) == 1)
        head += c;
    size_t start = head.find(' ') + 1;
    std::string path = head.substr(start, head.find(' ', start) - start);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_requests.push_back(path);
    }
    Reply reply = m_script(path, index);
    std::string status = "HTTP/1.1 " + std::to_string(reply.status) + " Scripted\r\n";
    if (!reply.stream) {
        SendAll(socket, status + "Content-Type: application/json\r\nContent-Length: " +
                            std::to_string(reply.body.size()) + "\r\nConnection: close\r\n" + reply.headers +
                            "\r\n" + reply.body);
    } else {
        bool open = SendAll(socket, status + "Content-Type: video/mp2t\r\nTransfer-Encoding: chunked\r\n"
                                             "Connection: close\r\n" + reply.headers + "\r\n");
        std::vector<std::string> chunks;
        for (const std::string& chunk : reply.chunks)
            chunks.push_back(Chunk(chunk));
        do {
            for (size_t i = 0; i < chunks.size() && open && !m_stopping.load(); ++i) {
                open = SendAll(socket, chunks[i]);
                if (reply.pauseMs != 0)
                    Sleep(reply.pauseMs);
            }
        } while (reply.forever && open && !m_stopping.load());
        // A packet of stuffing after the stream's last chunk: WinHTTP under
        // Wine hands a chunk over only once the next one has come whole, so
        // this one is held back there, not the last the test sent.
        const std::string stuffing = Chunk("\x47\x1F\xFF\x10" + std::string(184, '\xFF'));
        if (reply.end == Reply::kLastChunk)
            SendAll(socket, "0\r\n\r\n");
        if (reply.end == Reply::kReset) {
            // Once what came before has been read: a reset throws away what
            // the client has not read yet.
            SendAll(socket, stuffing);
            Sleep(200);
            linger hard = {1, 0};
            setsockopt(socket, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&hard), sizeof hard);
        }
        if (reply.end == Reply::kStall) {
            // Then the connection is held open, sending nothing, until
            // stopped or the client goes.
            SendAll(socket, stuffing);
            while (!m_stopping.load() && recv(socket, &c, 1, 0) > 0) {
            }
        }
    }
    if (reply.end != Reply::kReset)
        shutdown(socket, SD_SEND);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (size_t i = 0; i < m_sockets.size(); ++i)
            if (m_sockets[i] == socket)
                m_sockets.erase(m_sockets.begin() + static_cast<long>(i));
        closesocket(socket);
    }
    --m_open;
}

uint16_t RefusingPort()
{
    uint16_t port = 0;
    SOCKET s = Listen(&port);
    closesocket(s);
    return port;
}
