// The HTTP side of serve, on Boost.Beast over Boost.Asio.
//
// One thread (the socket thread) runs every connection asynchronously, so
// that a connection that sends nothing, or a byte now and then, costs a
// socket and a few kilobytes, never a thread: idle and slow clients cannot
// keep others waiting. An address outside --allow is closed as it is
// accepted, before anything is read. A request's line and headers must come
// within kRequestTime; connections that are not streams are capped, per
// client address and in all, the oldest being closed to make room, so that a
// new request always gets in. The API, the page and every refusal are
// answered on the socket thread at once. What may wait for the tuner pool (a
// stream, a channel list not read yet) runs on a worker thread of its own:
// streams and the API never wait behind each other. A stream's worker sends
// on its socket itself, without blocking (under Wine a send handed to the
// socket thread costs several times the CPU); from the moment its worker
// starts until it ends, only the worker writes on that socket and only it
// has the socket closed.
#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>

#include <algorithm>
#include <condition_variable>
#include <list>
#include <map>
#include <mutex>
#include <set>
#include <sstream>
#include <thread>

#include "host/serve/HttpServer.h"
#include "host/serve/LocalNames.h"
#include "host/serve/Page.h"

namespace net = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = net::ip::tcp;

namespace {

// A request's line and headers, how long they may take to arrive, and the
// most a target or a header line may hold.
const auto kRequestTime = std::chrono::seconds(5);
const size_t kMaxRequestBytes = 16 * 1024;
const size_t kMaxLineBytes = 8 * 1024;
// How long an answer that is not a stream may take to send, and how long the
// client then has to close its side.
const auto kAnswerTime = std::chrono::seconds(10);
const auto kCloseTime = std::chrono::seconds(2);
// Connections that are not streams (reading a request, answering, closing):
// at most this many in all, and from one address other than this PC's.
const size_t kMaxWaiting = 1000;
const size_t kMaxWaitingPerAddress = 64;
// Worker threads besides one per stream: channel lists being read, refusals.
const size_t kSpareWorkers = 16;
// This PC's addresses and names are read again when a client's address or
// Host is not among them, at most this often.
const double kLocalNamesSeconds = 10;
// How often a stream with nothing to send, or a send that cannot go on,
// looks whether it should end.
const auto kStreamPoll = std::chrono::milliseconds(200);
// The most a stream sends at once when its client has fallen behind.
const size_t kMostPerSend = 1024 * 1024;
// How long a send may still take once its client was dropped.
const auto kDroppedGrace = std::chrono::seconds(5);
const size_t kMaxRefusedLogged = 1024;

double Seconds()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

struct Answer {
    int status = 200;
    std::string type;
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers;
    // A stream's HEAD: chunked as its GET would be, with no length.
    bool chunked = false;
};

Answer Json(int status, const std::string& body)
{
    Answer a;
    a.status = status;
    a.type = "application/json";
    a.body = body;
    return a;
}

Answer Error(int status, const std::string& error)
{
    return Json(status, ErrorJson(error));
}

// One client connection, from accept to close. Its socket and timer are used
// on the socket thread only, but for a stream's worker, which sends through
// the system's handle of the socket (see above).
struct Connection {
    explicit Connection(tcp::socket s)
        : socket(std::move(s)), handle(socket.native_handle()), deadline(socket.get_executor())
    {
    }

    tcp::socket socket;
    const SOCKET handle;
    net::steady_timer deadline;
    uint32_t address = 0;
    std::string addressText;
    bool own = false;  // loopback or this PC
    beast::flat_buffer buffer{kMaxRequestBytes};
    http::request_parser<http::empty_body> parser;
    bool head = false;
    // Its place among the connections that are not streams, while listed.
    std::list<std::weak_ptr<Connection>>::iterator waiting;
    bool listed = false;
    // A read is waiting for the client to close (Watch), and the stream's
    // worker is done with the socket.
    bool watching = false;
    bool finishing = false;
    char scratch[512];
    // The client closed its side or the connection was closed.
    std::atomic<bool> closed{false};

    void Close()
    {
        beast::error_code ec;
        closed = true;
        deadline.cancel();
        socket.close(ec);
    }
};

}  // namespace

struct HttpServer::Impl {
    TunerPool& pool;
    HttpSettings settings;
    net::io_context io{1};
    net::executor_work_guard<net::io_context::executor_type> work = net::make_work_guard(io);
    tcp::acceptor acceptor{io};
    net::steady_timer acceptRetry{io};
    std::thread thread;

    // Socket thread only.
    std::list<std::weak_ptr<Connection>> waiting;  // oldest first
    std::map<uint32_t, size_t> waitingBy;
    LocalNames local;
    double localRead = 0;
    std::set<uint32_t> refusedLogged;

    // Workers.
    std::mutex mutex;
    std::condition_variable workersDone;
    size_t workers = 0;
    bool stopping = false;

    Impl(TunerPool& p, const HttpSettings& s) : pool(p), settings(s) {}

    bool Stopping()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return stopping;
    }
    // Whether this PC's addresses and names pass the test, read again first
    // when they did not and were read a while ago.
    bool Local(const std::function<bool(const LocalNames&)>& test);

    void Accept();
    void OnAccept(beast::error_code ec, tcp::socket socket);
    void List(const std::shared_ptr<Connection>& c);
    void Unlist(const std::shared_ptr<Connection>& c);
    // Closes the connection; every connection ends here, on the socket thread.
    void End(const std::shared_ptr<Connection>& c);
    void EndAfter(const std::shared_ptr<Connection>& c, std::chrono::steady_clock::duration time);
    void CloseOldest(const uint32_t* address);
    void ReadRequest(const std::shared_ptr<Connection>& c);
    void OnRequest(const std::shared_ptr<Connection>& c, beast::error_code ec);
    void Route(const std::shared_ptr<Connection>& c);
    void Send(const std::shared_ptr<Connection>& c, const ::Answer& answer);
    void Finish(const std::shared_ptr<Connection>& c);
    void Drain(const std::shared_ptr<Connection>& c);
    void Watch(const std::shared_ptr<Connection>& c);

    // Runs work on a worker thread; false when too many are running.
    bool StartWorker(std::function<void()> work);
    // From a worker: answers on the socket thread.
    void Reply(const std::shared_ptr<Connection>& c, const ::Answer& answer);
    // From a stream's worker: sends all of data. False when the send failed,
    // or was given up because the client has gone, the server stops or
    // giveUp says so.
    bool Push(const std::shared_ptr<Connection>& c, const std::string& data, const std::function<bool()>& giveUp);
    // From a stream's worker, once it is done: closed at once (a cut), or
    // after the client has closed its side (Finish).
    void CutOff(const std::shared_ptr<Connection>& c);
    void EndProperly(const std::shared_ptr<Connection>& c);

    bool Lists(std::vector<std::pair<char, std::vector<ChannelInfo>>>* lists,
               std::vector<std::pair<char, std::string>>* errors, bool load);
    ::Answer ListAnswer(bool playlist, const std::string& base, bool load, bool* known);
    ::Answer HeadOfStream(const StreamRequest& request);
    void Stream(const std::shared_ptr<Connection>& c, StreamRequest request, const std::string& base);
};

bool HttpServer::Impl::Local(const std::function<bool(const LocalNames&)>& test)
{
    if (test(local))
        return true;
    if (Seconds() - localRead < kLocalNamesSeconds)
        return false;
    local = ReadLocalNames();
    localRead = Seconds();
    return test(local);
}

void HttpServer::Impl::Accept()
{
    acceptor.async_accept([this](beast::error_code ec, tcp::socket socket) { OnAccept(ec, std::move(socket)); });
}

void HttpServer::Impl::OnAccept(beast::error_code ec, tcp::socket socket)
{
    if (!acceptor.is_open())
        return;
    if (ec) {
        // Out of sockets or memory for a moment: try again shortly rather
        // than at once.
        acceptRetry.expires_after(std::chrono::milliseconds(50));
        acceptRetry.async_wait([this](beast::error_code) { Accept(); });
        return;
    }
    Accept();
    tcp::endpoint remote = socket.remote_endpoint(ec);
    if (ec || !remote.address().is_v4()) {
        socket.close(ec);
        return;
    }
    uint32_t address = remote.address().to_v4().to_uint();
    if (!Local([&](const LocalNames& l) { return AddressAllowed(settings.allow, address, l); })) {
        socket.close(ec);
        if (settings.log && refusedLogged.size() < kMaxRefusedLogged && refusedLogged.insert(address).second)
            settings.log(Ipv4Text(address) + " is not in --allow: its connections are closed");
        return;
    }
    socket.set_option(tcp::no_delay(true), ec);
    auto c = std::make_shared<Connection>(std::move(socket));
    c->address = address;
    c->addressText = Ipv4Text(address);
    c->own = IsLoopback(address) ||
             std::find(local.addresses.begin(), local.addresses.end(), address) != local.addresses.end();
    List(c);
    ReadRequest(c);
}

void HttpServer::Impl::List(const std::shared_ptr<Connection>& c)
{
    // Over a bound, the oldest such connection (of that address, or of all)
    // makes room: most likely one that never sends its request.
    if (!c->own && waitingBy[c->address] >= kMaxWaitingPerAddress)
        CloseOldest(&c->address);
    if (waiting.size() >= kMaxWaiting)
        CloseOldest(nullptr);
    c->waiting = waiting.insert(waiting.end(), c);
    c->listed = true;
    ++waitingBy[c->address];
}

void HttpServer::Impl::Unlist(const std::shared_ptr<Connection>& c)
{
    if (!c->listed)
        return;
    waiting.erase(c->waiting);
    c->listed = false;
    auto count = waitingBy.find(c->address);
    if (--count->second == 0)
        waitingBy.erase(count);
}

void HttpServer::Impl::CloseOldest(const uint32_t* address)
{
    for (auto it = waiting.begin(); it != waiting.end(); ++it) {
        std::shared_ptr<Connection> oldest = it->lock();
        if (oldest && (address == nullptr || oldest->address == *address)) {
            End(oldest);
            return;
        }
    }
}

void HttpServer::Impl::End(const std::shared_ptr<Connection>& c)
{
    Unlist(c);
    c->Close();
}

void HttpServer::Impl::EndAfter(const std::shared_ptr<Connection>& c, std::chrono::steady_clock::duration time)
{
    c->deadline.expires_after(time);
    c->deadline.async_wait([this, c](beast::error_code ec) {
        if (!ec)
            End(c);
    });
}

void HttpServer::Impl::ReadRequest(const std::shared_ptr<Connection>& c)
{
    c->parser.header_limit(kMaxRequestBytes);
    EndAfter(c, kRequestTime);
    http::async_read_header(c->socket, c->buffer, c->parser,
                            [this, c](beast::error_code ec, size_t) { OnRequest(c, ec); });
}

void HttpServer::Impl::OnRequest(const std::shared_ptr<Connection>& c, beast::error_code ec)
{
    if (c->closed) {
        End(c);
        return;
    }
    if (ec == http::error::header_limit || ec == http::error::buffer_overflow) {
        Send(c, Error(400, "the request line and headers are over 16 KB"));
        return;
    }
    // Closed, reset or timed out: nobody to answer.
    if (ec && (ec == http::error::end_of_stream || ec == http::error::partial_message || ec == net::error::eof ||
               ec.category() == net::error::get_system_category())) {
        End(c);
        return;
    }
    if (ec) {
        Send(c, Error(400, "the request cannot be read as HTTP"));
        return;
    }
    Route(c);
}

void HttpServer::Impl::Route(const std::shared_ptr<Connection>& c)
{
    const http::request<http::empty_body>& req = c->parser.get();
    c->head = req.method() == http::verb::head;
    // Read: what remains is answering, or streaming.
    c->deadline.cancel();
    if (req.target().size() > kMaxLineBytes) {
        Send(c, Error(414, "the request's target is over 8 KB"));
        return;
    }
    for (const auto& field : req) {
        if (field.name_string().size() + field.value().size() + 2 > kMaxLineBytes) {
            Send(c, Error(400, "a header line is over 8 KB"));
            return;
        }
    }
    // A browser always names the server it means: one that names another
    // was pointed here by someone else's name for this address.
    std::string hostHeader(req[http::field::host]);
    std::string host;
    if (req.count(http::field::host) > 1 || (req.version() >= 11 && hostHeader.empty())) {
        Send(c, Error(400, "an HTTP/1.1 request needs one Host header"));
        return;
    }
    if (!hostHeader.empty() && !HostOfHeader(hostHeader, &host)) {
        Send(c, Error(400, "the Host header is no host name or address"));
        return;
    }
    if (!host.empty() &&
        !Local([&](const LocalNames& l) { return HostAccepted(host, settings.address, l, settings.hosts); })) {
        Send(c, Error(421, "this server answers to this PC's own addresses and names only, not to \"" + host +
                               "\" (serve --host " + host + " adds it)"));
        return;
    }
    std::string path, error;
    QueryParams params;
    if (!ParseTarget(std::string(req.target()), &path, &params, &error)) {
        Send(c, Error(400, error));
        return;
    }
    ::Route route = RouteOf(path);
    BrowserMarks marks;
    marks.fetchSite = std::string(req["Sec-Fetch-Site"]);
    marks.fetchMode = std::string(req["Sec-Fetch-Mode"]);
    marks.origin = std::string(req[http::field::origin]);
    if (FromAnotherPage(marks, hostHeader, route == ::Route::kPage)) {
        Send(c, Error(403, "a request from another web page than this server's own is refused"));
        return;
    }
    if (req.method() != http::verb::get && req.method() != http::verb::head) {
        Answer a = Error(405, "only GET and HEAD are served");
        a.headers.emplace_back("Allow", "GET, HEAD");
        Send(c, a);
        return;
    }
    std::string base = BaseUrl(hostHeader, settings.info.listen);
    switch (route) {
    case ::Route::kPage: {
        Answer a;
        a.type = "text/html; charset=utf-8";
        a.body = kStatusPage;
        // Its own inline style and script, and requests to this server only.
        a.headers.emplace_back("Content-Security-Policy",
                               "default-src 'none'; script-src 'unsafe-inline'; style-src 'unsafe-inline'; "
                               "connect-src 'self'; img-src 'self'");
        Send(c, a);
        return;
    }
    case ::Route::kStatus:
        Send(c, Json(200, StatusJson(pool.Status(), settings.info, base)));
        return;
    case ::Route::kChannels:
    case ::Route::kPlaylist: {
        bool playlist = route == ::Route::kPlaylist;
        bool known = false;
        Answer a = ListAnswer(playlist, base, false, &known);
        if (known)
            Send(c, a);
        else if (!StartWorker([this, c, playlist, base] { Reply(c, ListAnswer(playlist, base, true, nullptr)); }))
            Send(c, Error(503, "too many requests at once"));
        return;
    }
    case ::Route::kStream: {
        StreamRequest request;
        int status = ParseStreamRequest(path, params, &request, &error);
        if (status == 0 && !pool.HasKind(request.kind)) {
            status = 404;
            error = std::string("the folder holds no copy of kind ") + request.kind;
        }
        if (status != 0)
            Send(c, Error(status, error));
        else if (c->head)
            Send(c, HeadOfStream(request));
        else if (StartWorker([this, c, request, base] { Stream(c, request, base); })) {
            // From here its worker has the socket: the connection is no
            // longer among those a new one may push out.
            Unlist(c);
            Watch(c);
        } else {
            pool.CountRefusal();
            Send(c, Error(503, "too many requests at once"));
        }
        return;
    }
    case ::Route::kNotFound:
        Send(c, Error(404, "nothing here: " + path + " (see / and /api/channels)"));
        return;
    }
}

void HttpServer::Impl::Send(const std::shared_ptr<Connection>& c, const ::Answer& answer)
{
    unsigned version = c->parser.get().version() == 10 ? 10 : 11;
    auto res = std::make_shared<http::response<http::string_body>>();
    res->version(version);
    res->result(static_cast<unsigned>(answer.status));
    res->set(http::field::content_type, answer.type);
    res->set(http::field::cache_control, "no-store");
    for (const auto& h : answer.headers)
        res->set(h.first, h.second);
    res->keep_alive(false);
    res->body() = answer.body;
    if (answer.chunked && version == 11)
        res->chunked(true);
    else if (!answer.chunked)
        res->prepare_payload();
    // A HEAD answer says the length the GET's body would have, and has none.
    auto serializer = std::make_shared<http::response_serializer<http::string_body>>(*res);
    EndAfter(c, kAnswerTime);
    if (c->head) {
        http::async_write_header(c->socket, *serializer, [this, c, res, serializer](beast::error_code, size_t) {
            Finish(c);
        });
    } else {
        http::async_write(c->socket, *serializer, [this, c, res, serializer](beast::error_code, size_t) {
            Finish(c);
        });
    }
}

void HttpServer::Impl::Finish(const std::shared_ptr<Connection>& c)
{
    // Closed once the client has closed its side too, so that the answer is
    // never cut short by a reset; a client that does not close within
    // kCloseTime is closed.
    beast::error_code ec;
    c->finishing = true;
    c->socket.shutdown(tcp::socket::shutdown_send, ec);
    EndAfter(c, kCloseTime);
    if (!c->watching)
        Drain(c);
}

void HttpServer::Impl::Drain(const std::shared_ptr<Connection>& c)
{
    c->socket.async_read_some(net::buffer(c->scratch), [this, c](beast::error_code ec, size_t) {
        if (ec)
            End(c);
        else
            Drain(c);
    });
}

void HttpServer::Impl::Watch(const std::shared_ptr<Connection>& c)
{
    // A stream's client sends nothing more: a read that ends tells that it
    // has gone, even while nothing is being sent. The worker then has the
    // connection closed, unless it is done already.
    c->watching = true;
    c->socket.async_read_some(net::buffer(c->scratch), [this, c](beast::error_code ec, size_t) {
        if (!ec) {
            Watch(c);
            return;
        }
        c->watching = false;
        c->closed = true;
        if (c->finishing)
            End(c);
    });
}

bool HttpServer::Impl::StartWorker(std::function<void()> work)
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (stopping || workers >= settings.maxClients + kSpareWorkers)
            return false;
        ++workers;
    }
    std::thread([this](std::function<void()> w) {
        w();
        // What it holds (its connection) goes before Stop may return.
        w = nullptr;
        std::lock_guard<std::mutex> lock(mutex);
        --workers;
        workersDone.notify_all();
    }, std::move(work)).detach();
    return true;
}

void HttpServer::Impl::Reply(const std::shared_ptr<Connection>& c, const ::Answer& answer)
{
    net::post(io, [this, c, answer] {
        if (c->closed)
            End(c);
        else
            Send(c, answer);
    });
}

bool HttpServer::Impl::Push(const std::shared_ptr<Connection>& c, const std::string& data,
                            const std::function<bool()>& giveUp)
{
    SOCKET socket = c->handle;
    for (size_t sent = 0; sent < data.size();) {
        int n = ::send(socket, data.data() + sent, static_cast<int>(std::min<size_t>(data.size() - sent, 1 << 20)), 0);
        if (n > 0) {
            sent += static_cast<size_t>(n);
            continue;
        }
        if (WSAGetLastError() != WSAEWOULDBLOCK)
            return false;
        // The client's side is full: wait until it reads, looking now and
        // then whether to give up.
        fd_set writable;
        FD_ZERO(&writable);
        FD_SET(socket, &writable);
        timeval wait = {0, static_cast<long>(std::chrono::microseconds(kStreamPoll).count())};
        select(0, nullptr, &writable, nullptr, &wait);
        if (c->closed || Stopping() || giveUp())
            return false;
    }
    return true;
}

void HttpServer::Impl::CutOff(const std::shared_ptr<Connection>& c)
{
    // Without the chunked transfer's end: the client sees a broken transfer.
    // The bytes already sent still arrive.
    net::post(io, [this, c] { End(c); });
}

void HttpServer::Impl::EndProperly(const std::shared_ptr<Connection>& c)
{
    net::post(io, [this, c] {
        if (c->closed)
            End(c);
        else
            Finish(c);
    });
}

bool HttpServer::Impl::Lists(std::vector<std::pair<char, std::vector<ChannelInfo>>>* lists,
                             std::vector<std::pair<char, std::string>>* errors, bool load)
{
    for (char kind : {'S', 'T'}) {
        if (!pool.HasKind(kind))
            continue;
        std::vector<ChannelInfo> channels;
        std::string error;
        if (load ? pool.Channels(kind, &channels, &error) : pool.ListedChannels(kind, &channels))
            lists->emplace_back(kind, channels);
        else if (load)
            errors->emplace_back(kind, error);
        else
            return false;
    }
    return true;
}

Answer HttpServer::Impl::ListAnswer(bool playlist, const std::string& base, bool load, bool* known)
{
    std::vector<std::pair<char, std::vector<ChannelInfo>>> lists;
    std::vector<std::pair<char, std::string>> errors;
    bool listed = Lists(&lists, &errors, load);
    if (known != nullptr)
        *known = listed;
    if (!playlist)
        return Json(200, ChannelsJson(lists, errors, base));
    Answer a;
    a.type = "audio/x-mpegurl; charset=utf-8";
    a.body = PlaylistM3u(lists, base);
    return a;
}

Answer HttpServer::Impl::HeadOfStream(const StreamRequest& request)
{
    // What a GET would answer, from the channel list alone: no copy is
    // loaded for it. Before any copy of the kind has listed its channels,
    // every channel is taken to be there.
    std::vector<ChannelInfo> channels;
    if (pool.ListedChannels(request.kind, &channels)) {
        std::string error;
        ChannelInfo found;
        bool listed = false;
        for (const ChannelInfo& c : channels)
            listed = listed || (c.space == request.space && c.channel == request.channel);
        int status = request.byName ? FindChannelByName(channels, request, &found, &error) : 0;
        if (status != 0)
            return Error(status, error);
        if (!request.byName && !listed)
            return Error(404, "no such channel (see /api/channels)");
    }
    Answer a;
    a.type = "video/mp2t";
    a.chunked = true;
    return a;
}

void HttpServer::Impl::Stream(const std::shared_ptr<Connection>& c, StreamRequest request, const std::string& base)
{
    std::string error;
    if (request.byName) {
        std::vector<ChannelInfo> channels;
        if (!pool.Channels(request.kind, &channels, &error)) {
            Reply(c, Error(503, error));
            return;
        }
        ChannelInfo found;
        int status = FindChannelByName(channels, request, &found, &error);
        if (status != 0) {
            Reply(c, Error(status, error));
            return;
        }
        request.space = found.space;
        request.channel = found.channel;
    }
    JoinResult joined = pool.Join(request.kind, request.space, request.channel, c->addressText);
    if (joined.status != 200) {
        Reply(c, joined.status == 503 ? Json(503, BusyJson(joined.error, pool.Status(), base))
                                      : Error(joined.status, joined.error));
        return;
    }
    std::unique_ptr<Subscription> place(std::move(joined.subscription));
    Subscriber& queue = place->Queue();
    // HTTP/1.0 has no chunked transfer: the stream then ends by closing, and
    // a cut cannot be told from an end.
    bool chunked = c->parser.get().version() >= 11;
    auto never = [] { return false; };
    http::response<http::empty_body> res(http::status::ok, chunked ? 11 : 10);
    res.set(http::field::content_type, "video/mp2t");
    res.set(http::field::cache_control, "no-store");
    // Which tuner carries the stream, so that a client can find it in the
    // status (its signal, its errors).
    res.set("Zendrel-Tuner", joined.copy);
    res.keep_alive(false);
    if (chunked)
        res.chunked(true);
    std::ostringstream head;
    head << res.base();
    // The worker's sends wait for the client without blocking.
    u_long nonBlocking = 1;
    ioctlsocket(c->handle, FIONBIO, &nonBlocking);
    if (!Push(c, head.str(), never)) {
        CutOff(c);
        return;
    }
    const auto started = std::chrono::steady_clock::now();
    const auto end = started + std::chrono::seconds(request.seconds);
    // A dropped client that still reads gets the send under way, then the
    // cut below; one that reads nothing is cut off kDroppedGrace later.
    std::chrono::steady_clock::time_point droppedAt;
    auto stuck = [&queue, &droppedAt] {
        if (!queue.Dropped())
            return false;
        auto now = std::chrono::steady_clock::now();
        if (droppedAt == std::chrono::steady_clock::time_point())
            droppedAt = now;
        return now - droppedAt >= kDroppedGrace;
    };
    std::string data;
    for (;;) {
        auto wait = kStreamPoll;
        if (request.seconds != 0) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                break;
            wait = std::min(wait, left);
        }
        Chunk chunk;
        Subscriber::Next next = queue.Take(&chunk, wait);
        if (next == Subscriber::Next::kTimeout) {
            if (c->closed) {
                CutOff(c);
                return;
            }
            if (Stopping())
                break;
            continue;
        }
        if (next == Subscriber::Next::kEnded)
            break;
        // Each piece goes out as soon as it is there; a client that is behind
        // gets what has piled up in one send rather than many.
        std::vector<net::const_buffer> pieces(1, net::const_buffer(chunk.Data(), chunk.Size()));
        std::vector<Chunk> held(1, chunk);
        size_t size = chunk.Size();
        Chunk more;
        while (size < kMostPerSend && queue.Take(&more, std::chrono::milliseconds(0)) == Subscriber::Next::kChunk) {
            pieces.emplace_back(more.Data(), more.Size());
            held.push_back(more);
            size += more.Size();
        }
        data.clear();
        if (chunked) {
            auto framed = http::make_chunk(pieces);
            data.resize(net::buffer_size(framed));
            net::buffer_copy(net::buffer(&data[0], data.size()), framed);
        } else {
            data.resize(size);
            net::buffer_copy(net::buffer(&data[0], data.size()), pieces);
        }
        if (Push(c, data, stuck)) {
            queue.Sent(size);
            continue;
        }
        if (queue.Dropped())
            break;
        // The client gone, a send failed, or stopping with a send stuck.
        CutOff(c);
        return;
    }
    // However the stream ended: cut off when its client was dropped or its
    // tuner lost, so that a player or recorder sees a broken transfer, not a
    // finished file; else (?seconds=, the server stopping) the proper end.
    if (queue.Cut()) {
        CutOff(c);
        return;
    }
    std::string last;
    if (chunked) {
        auto framed = http::make_chunk_last();
        last.resize(net::buffer_size(framed));
        net::buffer_copy(net::buffer(&last[0], last.size()), framed);
    }
    if (Push(c, last, never))
        EndProperly(c);
    else
        CutOff(c);
}

HttpServer::HttpServer(TunerPool& pool, const HttpSettings& settings) : m_impl(new Impl(pool, settings)) {}

HttpServer::~HttpServer()
{
    Stop();
}

bool HttpServer::Bind(std::string* error, uint16_t* port)
{
    Impl& s = *m_impl;
    std::string host = Ipv4Text(s.settings.address);
    tcp::endpoint endpoint(net::ip::address_v4(s.settings.address), s.settings.port);
    beast::error_code ec;
    s.acceptor.open(endpoint.protocol(), ec);
    // The port is this server's alone: on Windows, a second server with
    // SO_REUSEADDR could otherwise bind the same port and share its
    // connections.
    if (!ec)
        s.acceptor.set_option(net::detail::socket_option::boolean<SOL_SOCKET, SO_EXCLUSIVEADDRUSE>(true), ec);
    if (!ec)
        s.acceptor.bind(endpoint, ec);
    // As many connections waiting to be accepted as the system allows, so
    // that players that start together are not turned away.
    if (!ec)
        s.acceptor.listen(net::socket_base::max_listen_connections, ec);
    if (ec) {
        s.acceptor.close(ec);
        *error = "cannot listen on " + host + ":" + std::to_string(s.settings.port) +
                 " (is another server using that port?)";
        return false;
    }
    *port = s.acceptor.local_endpoint(ec).port();
    s.settings.info.listen = host + ":" + std::to_string(*port);
    s.local = ReadLocalNames();
    s.localRead = Seconds();
    return true;
}

void HttpServer::Start()
{
    Impl* s = m_impl.get();
    s->thread = std::thread([s] {
        s->Accept();
        s->io.run();
    });
}

void HttpServer::Stop()
{
    Impl& s = *m_impl;
    if (!s.thread.joinable())
        return;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        s.stopping = true;
    }
    net::post(s.io, [&s] {
        beast::error_code ec;
        s.acceptor.close(ec);
        s.acceptRetry.cancel();
    });
    // Each stream ends within a poll of its worker (properly, unless its
    // client has stopped reading); a worker still waiting for the pool ends
    // when the pool answers.
    {
        std::unique_lock<std::mutex> lock(s.mutex);
        s.workersDone.wait(lock, [&s] { return s.workers == 0; });
    }
    s.io.stop();
    s.thread.join();
}
