// The HTTP side of serve. Built with exceptions: see Httplib.h.
#include "host/serve/Httplib.h"

#include "host/serve/HttpServer.h"
#include "host/serve/Page.h"

namespace {

// cpp-httplib's pool of connection threads, each connection's request
// accounting started afresh.
class RequestPool : public httplib::ThreadPool
{
public:
    explicit RequestPool(size_t threads) : httplib::ThreadPool(threads) {}
    void enqueue(std::function<void()> connection) override
    {
        httplib::ThreadPool::enqueue([connection] {
            request_bounds::Begin();
            connection();
            request_bounds::Done();
        });
    }
};

// Connection threads besides one per stream: for the API, the page, the
// refusals, and streams that were dropped but whose sockets are still closing.
const size_t kSpareThreads = 8;
// How often a stream with nothing to send looks whether its client is still
// there.
const auto kStreamPoll = std::chrono::milliseconds(200);
// The most a stream sends at once when its client has fallen behind.
const size_t kMostPerSend = 1024 * 1024;

void SetJson(httplib::Response& res, int status, const std::string& body)
{
    res.status = status;
    res.set_header("Cache-Control", "no-store");
    res.set_content(body, "application/json");
}

}  // namespace

struct HttpServer::Impl {
    TunerPool& pool;
    HttpSettings settings;
    httplib::Server server;
    std::thread thread;

    Impl(TunerPool& p, const HttpSettings& s) : pool(p), settings(s) {}

    void Route(const httplib::Request& req, httplib::Response& res);
    void Stream(const httplib::Request& req, httplib::Response& res, const std::string& base);
    void Channels(httplib::Response& res, const std::string& base);
};

void HttpServer::Impl::Route(const httplib::Request& req, httplib::Response& res)
{
    // The request has been read whole.
    request_bounds::Done();
    if (!AddressAllowed(settings.allow, req.remote_addr)) {
        SetJson(res, 403, ErrorJson(req.remote_addr + " is not allowed here (--allow)"));
        return;
    }
    if (req.method != "GET" && req.method != "HEAD") {
        res.set_header("Allow", "GET, HEAD");
        SetJson(res, 405, ErrorJson("only GET and HEAD are served"));
        return;
    }
    std::string base = BaseUrl(req.get_header_value("Host"), settings.info.listen);
    switch (RouteOf(req.path)) {
    case ::Route::kPage:
        res.set_header("Cache-Control", "no-store");
        // Its own inline style and script, and requests to this server only.
        res.set_header("Content-Security-Policy",
                       "default-src 'none'; script-src 'unsafe-inline'; style-src 'unsafe-inline'; "
                       "connect-src 'self'; img-src 'self'");
        res.set_content(kStatusPage, "text/html; charset=utf-8");
        return;
    case ::Route::kChannels:
        Channels(res, base);
        return;
    case ::Route::kStatus:
        SetJson(res, 200, StatusJson(pool.Status(), settings.info, base));
        return;
    case ::Route::kStream:
        Stream(req, res, base);
        return;
    case ::Route::kNotFound:
        SetJson(res, 404, ErrorJson("nothing here: " + req.path + " (see / and /api/channels)"));
        return;
    }
}

void HttpServer::Impl::Channels(httplib::Response& res, const std::string& base)
{
    std::vector<std::pair<char, std::vector<ChannelInfo>>> lists;
    std::vector<std::pair<char, std::string>> errors;
    for (char kind : {'S', 'T'}) {
        if (!pool.HasKind(kind))
            continue;
        std::vector<ChannelInfo> channels;
        std::string error;
        if (pool.Channels(kind, &channels, &error))
            lists.emplace_back(kind, channels);
        else
            errors.emplace_back(kind, error);
    }
    SetJson(res, 200, ChannelsJson(lists, errors, base));
}

void HttpServer::Impl::Stream(const httplib::Request& req, httplib::Response& res, const std::string& base)
{
    StreamRequest request;
    std::string error;
    int status = ParseStreamRequest(req.path, req.params, &request, &error);
    if (status != 0) {
        SetJson(res, status, ErrorJson(error));
        return;
    }
    if (!pool.HasKind(request.kind)) {
        SetJson(res, 404, ErrorJson(std::string("the folder holds no copy of kind ") + request.kind));
        return;
    }
    if (request.byName || req.method == "HEAD") {
        std::vector<ChannelInfo> channels;
        if (!pool.Channels(request.kind, &channels, &error)) {
            SetJson(res, 503, ErrorJson(error));
            return;
        }
        ChannelInfo found;
        if (request.byName) {
            status = FindChannelByName(channels, request, &found, &error);
            if (status != 0) {
                SetJson(res, status, ErrorJson(error));
                return;
            }
            request.space = found.space;
            request.channel = found.channel;
        } else {
            bool listed = false;
            for (const ChannelInfo& c : channels)
                listed = listed || (c.space == request.space && c.channel == request.channel);
            if (!listed) {
                SetJson(res, 404, ErrorJson("no such channel (see /api/channels)"));
                return;
            }
        }
    }
    if (req.method == "HEAD") {
        // What a GET would answer, without taking a tuner for it.
        res.set_header("Content-Type", "video/mp2t");
        res.set_header("Cache-Control", "no-store");
        return;
    }
    JoinResult joined = pool.Join(request.kind, request.space, request.channel, req.remote_addr);
    if (joined.status != 200) {
        SetJson(res, joined.status,
                joined.status == 503 ? BusyJson(joined.error, pool.Status(), base) : ErrorJson(joined.error));
        return;
    }
    std::shared_ptr<Subscription> place(std::move(joined.subscription));
    const uint32_t seconds = request.seconds;
    auto started = std::make_shared<std::chrono::steady_clock::time_point>();
    res.set_header("Cache-Control", "no-store");
    // Which tuner carries the stream, so that a client can find it in the
    // status (its signal, its errors).
    res.set_header("Zendrel-Tuner", joined.copy);
    // Each call sends one piece; the place is left when the response, and
    // with it this function, is destroyed: as soon as the connection ends.
    // When the server stops, the pool ends every queue first.
    res.set_chunked_content_provider(
        "video/mp2t", [place, seconds, started](size_t, httplib::DataSink& sink) {
            if (*started == std::chrono::steady_clock::time_point())
                *started = std::chrono::steady_clock::now();
            for (;;) {
                if (seconds != 0 && request_bounds::SecondsSince(*started) >= seconds) {
                    sink.done();
                    return true;
                }
                Chunk chunk;
                switch (place->Queue().Take(&chunk, kStreamPoll)) {
                case Subscriber::Next::kChunk: {
                    // A client that is behind gets what has piled up in one
                    // send rather than many.
                    std::string more;
                    Chunk next;
                    while (chunk.Size() + more.size() < kMostPerSend &&
                           place->Queue().Take(&next, std::chrono::milliseconds(0)) == Subscriber::Next::kChunk) {
                        if (more.empty())
                            more.assign(reinterpret_cast<const char*>(chunk.Data()), chunk.Size());
                        more.append(reinterpret_cast<const char*>(next.Data()), next.Size());
                    }
                    const char* data = more.empty() ? reinterpret_cast<const char*>(chunk.Data()) : more.data();
                    size_t size = more.empty() ? chunk.Size() : more.size();
                    if (!sink.write(data, size))
                        return false;
                    place->Queue().Sent(size);
                    return true;
                }
                case Subscriber::Next::kTimeout:
                    // Nothing to send: is the client still there?
                    if (!sink.is_writable())
                        return false;
                    break;
                case Subscriber::Next::kEnded:
                    // Dropped, or the tuner lost: cut off. The server
                    // stopped: a proper end.
                    if (place->Queue().Cut())
                        return false;
                    sink.done();
                    return true;
                }
            }
        });
}

HttpServer::HttpServer(TunerPool& pool, const HttpSettings& settings) : m_impl(new Impl(pool, settings))
{
    httplib::Server& server = m_impl->server;
    size_t threads = settings.maxClients + kSpareThreads;
    server.new_task_queue = [threads] { return new RequestPool(threads); };
    // The port is this server's alone: with the library's SO_REUSEADDR, a
    // second server on Windows would bind the same port and share its
    // connections.
    server.set_socket_options([](socket_t socket) {
        BOOL yes = TRUE;
        setsockopt(socket, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&yes), sizeof yes);
    });
    // How often the accepting thread wakes with nothing to accept (the
    // library's 10 ms on Windows is 100 needless wake-ups a second); it is
    // also how long stopping may take.
    server.set_idle_interval(0, 200000);
    // One request per connection, so that the bounds of Httplib.h are per
    // request.
    server.set_keep_alive_max_count(1);
    server.set_payload_max_length(0);
    Impl* impl = m_impl.get();
    server.set_pre_routing_handler([impl](const httplib::Request& req, httplib::Response& res) {
        impl->Route(req, res);
        return httplib::Server::HandlerResponse::Handled;
    });
    // What the library answers itself (a malformed request, a long URI, a
    // bad range) gets a JSON body as well.
    server.set_error_handler(httplib::Server::HandlerWithResponse(
        [](const httplib::Request&, httplib::Response& res) {
            if (!res.body.empty())
                return httplib::Server::HandlerResponse::Unhandled;
            SetJson(res, res.status, ErrorJson(httplib::detail::status_message(res.status)));
            return httplib::Server::HandlerResponse::Handled;
        }));
}

HttpServer::~HttpServer()
{
    Stop();
}

bool HttpServer::Bind(std::string* error, uint16_t* port)
{
    std::string host = Ipv4Text(m_impl->settings.address);
    int bound = m_impl->settings.port == 0 ? m_impl->server.bind_to_any_port(host)
                                           : (m_impl->server.bind_to_port(host, m_impl->settings.port)
                                                  ? m_impl->settings.port
                                                  : -1);
    if (bound <= 0) {
        *error = "cannot listen on " + host + ":" + std::to_string(m_impl->settings.port) +
                 " (is another server using that port?)";
        return false;
    }
    *port = static_cast<uint16_t>(bound);
    m_impl->settings.info.listen = host + ":" + std::to_string(bound);
    return true;
}

void HttpServer::Start()
{
    m_impl->thread = std::thread([this] { m_impl->server.listen_after_bind(); });
}

void HttpServer::Stop()
{
    m_impl->server.stop();
    if (m_impl->thread.joinable())
        m_impl->thread.join();
}
