// serve's HTTP side, on cpp-httplib: the routes of the API, the streams and
// the page, the allow list and the bounds on requests. The library stays
// inside HttpServer.cpp, the one file of the tool built with C++ exceptions
// (see there).
#pragma once

#include <stdint.h>

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
    size_t maxClients = 16;
    ServerInfo info;
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
    // Stops taking connections, ends the streams and waits for every
    // connection to close.
    void Stop();

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};
