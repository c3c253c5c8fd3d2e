// Built with exceptions, as Asio needs them.
#include "bench/ServeSupport.h"

#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>

#include <stdio.h>
#include <string.h>

#include <limits>
#include <vector>

#include "bench/Bench.h"
#include "host/Console.h"
#include "host/serve/DriverDevice.h"

namespace net = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = net::ip::tcp;

bool LayOutSatellite(const Standin& board, const Folder& folder, uint32_t rate)
{
    if (folder.AddPlugin(L"Zendrel-S.dll").empty() || !folder.Write(L"Zendrel-ST.ini", kNoAutoMakeSettings)) {
        printf("  could not lay out the folder\n");
        return false;
    }
    board.EptSimReset();
    board.EptSimSetLogging(0);
    board.EptSimSetRate(0, rate);
    return true;
}

InProcessServe::InProcessServe(const Folder& folder, size_t maxClients,
                               std::function<void(const uint8_t*, size_t, double)> onRead)
{
    PoolSettings pool;
    pool.idleSeconds = 10;
    pool.maxClients = maxClients;
    pool.now = Seconds;
    pool.localTime = [] { return LocalTimeText(); };
    pool.onRead = std::move(onRead);
    CopyInfo copy;
    copy.path = folder.Path(L"Zendrel-S.dll");
    copy.name = "Zendrel-S.dll";
    copy.kind = 'S';
    m_pool.reset(new TunerPool({copy}, MakeDriverDevice, pool));
    HttpSettings http;
    http.port = 0;
    http.maxClients = maxClients;
    m_server.reset(new HttpServer(*m_pool, http));
}

InProcessServe::~InProcessServe()
{
    Stop();
}

bool InProcessServe::Start()
{
    std::string error;
    if (!m_server->Bind(&error, &m_port)) {
        printf("  serve could not listen: %s\n", error.c_str());
        return false;
    }
    m_server->Start();
    return true;
}

void InProcessServe::Stop()
{
    m_pool->Shutdown();
    m_server->Stop();
}

HttpResult HttpGet(uint16_t port, const std::string& target, const std::function<bool(const char*, size_t)>& sink,
                   double timeoutSeconds)
{
    HttpResult result;
    net::io_context io;
    tcp::socket socket(io);
    beast::error_code ec;
    socket.connect(tcp::endpoint(net::ip::address_v4::loopback(), port), ec);
    if (ec)
        return result;
    DWORD ms = static_cast<DWORD>(timeoutSeconds * 1000);
    setsockopt(socket.native_handle(), SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&ms), sizeof ms);
    http::request<http::empty_body> request(http::verb::get, target, 11);
    request.set(http::field::host, "127.0.0.1:" + std::to_string(port));
    http::write(socket, request, ec);
    beast::flat_buffer buffer;
    http::response_parser<http::buffer_body> parser;
    parser.body_limit((std::numeric_limits<std::uint64_t>::max)());
    if (!ec)
        http::read_header(socket, buffer, parser, ec);
    if (ec)
        return result;
    result.status = static_cast<int>(parser.get().result_int());
    // The parser is fed from reads of this client's own: Beast's own read of
    // a whole message, a piece at a time, took some forty times the CPU here
    // (under Wine), enough to make the benchmark's clients fall behind.
    std::vector<char> in(64 * 1024);
    std::vector<char> body(64 * 1024);
    size_t have = net::buffer_copy(net::buffer(in), buffer.data());
    while (!parser.is_done()) {
        if (have < in.size()) {
            have += socket.read_some(net::buffer(in.data() + have, in.size() - have), ec);
            if (ec)
                return result;
        }
        for (;;) {
            parser.get().body().data = body.data();
            parser.get().body().size = body.size();
            size_t used = parser.put(net::buffer(in.data(), have), ec);
            if (ec == http::error::need_buffer || ec == http::error::need_more)
                ec = {};
            if (ec)
                return result;
            size_t got = body.size() - parser.get().body().size;
            memmove(in.data(), in.data() + used, have - used);
            have -= used;
            if (got != 0 && result.firstByte < 0)
                result.firstByte = Seconds();
            if (got != 0 && !sink(body.data(), got))
                return result;
            if ((used == 0 && got == 0) || parser.is_done())
                break;
        }
    }
    result.complete = true;
    return result;
}
