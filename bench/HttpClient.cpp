// Built with exceptions, as Asio needs them.
#include "bench/HttpClient.h"

#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>

#include <limits>
#include <vector>

#include "bench/Bench.h"

namespace net = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = net::ip::tcp;

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
    std::vector<char> data(64 * 1024);
    while (!parser.is_done()) {
        parser.get().body().data = data.data();
        parser.get().body().size = data.size();
        http::read(socket, buffer, parser, ec);
        if (ec == http::error::need_buffer)
            ec = {};
        if (ec)
            return result;
        size_t got = data.size() - parser.get().body().size;
        if (got != 0 && result.firstByte < 0)
            result.firstByte = Seconds();
        if (got != 0 && !sink(data.data(), got))
            return result;
    }
    result.complete = true;
    return result;
}
