// serve's HTTP side, on Boost.Beast over Boost.Asio: the connections, the
// routes of the API, the streams and the page, who is served and the bounds
// on requests. The libraries stay inside HttpServer.cpp, the one file of the
// tool built with C++ exceptions (Asio reports some failures by throwing).
#pragma once

#include <stdint.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "host/serve/Address.h"
#include "host/serve/Api.h"
#include "host/serve/TunerPool.h"

struct HttpSettings {
    uint32_t address = 0x7F000001;
    uint16_t port = 40080;  // 0: any free port
    std::vector<Ipv4Net> allow;
    // Names clients may reach it by besides this PC's own (--host).
    std::vector<std::string> hosts;
    size_t maxClients = 16;
    ServerInfo info;
    // A line for the console (an address refused, once). May be empty.
    std::function<void(const std::string&)> log;
};

class HttpServer
{
public:
    HttpServer(TunerPool& pool, const HttpSettings& settings);
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // Binds the address; false with *error. *port: the port bound.
    bool Bind(std::string* error, uint16_t* port);
    // Serves on threads of its own until Stop.
    void Start();
    // Stops taking connections, ends the streams (properly: the pool is
    // shut down first as a rule, which ends them already) and closes every
    // connection.
    void Stop();

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};
