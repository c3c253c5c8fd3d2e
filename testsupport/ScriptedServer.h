// A small HTTP server on 127.0.0.1 for the network plug-in's DLL tests and
// benchmark, which answers as they script it, including as no proper server
// would: a stream that stops sending, ends without its last chunk, or is
// reset; or one sent as fast as loopback takes it. Each connection has a
// thread of its own; Stop ends them all.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct Reply {
    int status = 200;
    std::string headers;  // extra header lines, each ending in CR LF
    std::string body;     // a whole answer (when not a stream)
    // A stream: chunks sent one after the other with pauseMs between them,
    // then the end below: the last chunk, a close without it, a reset, or a
    // stall (the last two after a null packet, which Wine's WinHTTP holds
    // back).
    bool stream = false;
    std::vector<std::string> chunks;
    uint32_t pauseMs = 0;
    // The chunks again and again, until the client goes or the server stops.
    bool forever = false;
    enum End { kLastChunk, kClose, kReset, kStall } end = kLastChunk;
};

class ScriptedServer
{
public:
    // script answers the index-th request (from 0) for path.
    explicit ScriptedServer(std::function<Reply(const std::string& path, int index)> script);
    ~ScriptedServer();
    uint16_t Port() const { return m_port; }
    // "http://127.0.0.1:PORT/"
    std::string Url() const;
    // The paths asked, in order.
    std::vector<std::string> Requests();
    // Connections whose answer is still being sent or held open.
    int Open();
    void Stop();

private:
    void Accept();
    void Answer(SOCKET socket, int index);

    std::function<Reply(const std::string&, int)> m_script;
    SOCKET m_listener = INVALID_SOCKET;
    uint16_t m_port = 0;
    std::thread m_acceptor;
    std::mutex m_mutex;
    std::vector<std::thread> m_connections;
    std::vector<SOCKET> m_sockets;
    std::vector<std::string> m_requests;
    std::atomic<int> m_open{0};
    std::atomic<bool> m_stopping{false};
};

// A port of 127.0.0.1 on which nothing listens: connections are refused.
uint16_t RefusingPort();
