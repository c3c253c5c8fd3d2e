// What the serve benchmarks share: serve's tuner pool and HTTP server run in
// this process as the command builds them, and an HTTP client on Boost.Beast
// as serve's server is: one GET on 127.0.0.1 whose body is handed over as it
// arrives. No Boost header here, so that only ServeSupport.cpp is built with
// exceptions.
#pragma once

#include <stdint.h>

#include <functional>
#include <string>

#include "host/serve/HttpServer.h"
#include "testsupport/Folder.h"
#include "testsupport/StandinLoader.h"

// Lays out Zendrel-S.dll in folder, with settings that keep it from writing
// side files, and sets the stand-in's satellite rate (bytes a second), its
// call log off. False, with a line printed, when the folder cannot be laid out.
bool LayOutSatellite(const Standin& board, const Folder& folder, uint32_t rate);

// One satellite copy of the plug-in (Zendrel-S.dll in folder) served on a
// port of 127.0.0.1 the system picks, until destroyed.
class InProcessServe
{
public:
    // onRead (may be empty): each piece as the tuner's owner reads it.
    InProcessServe(const Folder& folder, size_t maxClients,
                   std::function<void(const uint8_t*, size_t, double)> onRead = nullptr);
    ~InProcessServe();
    // Listens and serves; false, with a line printed, when it cannot.
    bool Start();
    uint16_t Port() const { return m_port; }
    TunerPool& Pool() { return *m_pool; }
    // Ends the streams and stops serving.
    void Stop();

private:
    std::unique_ptr<TunerPool> m_pool;
    std::unique_ptr<HttpServer> m_server;
    uint16_t m_port = 0;
};

struct HttpResult {
    int status = 0;         // 0: no answer
    bool complete = false;  // the body ended properly
    double firstByte = -1;  // Seconds() when the first byte of the body came
};

// sink gets each piece of the body as it arrives and returns false to stop
// reading. Every read waits at most timeoutSeconds.
HttpResult HttpGet(uint16_t port, const std::string& target, const std::function<bool(const char*, size_t)>& sink,
                   double timeoutSeconds = 30);
