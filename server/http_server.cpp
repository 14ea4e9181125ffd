// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#include "server/http_server.h"

#include "server/site.h"

#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>

#include <sys/resource.h>

#include <chrono>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

namespace bopatron::server {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;

namespace {

constexpr std::size_t kMostHeaderBytes = 16u << 10;
// A whole request (its headers and a batch of at most 256 KB) must arrive within this of the
// connection starting to wait for it, and a kept-alive connection waits as long for its next
// one (nginx: client_header_timeout, keepalive_timeout). A game sends a batch a second.
constexpr auto kRequestTimeout = std::chrono::seconds(15);
// Accepting failed (no descriptor left): try again after this, having freed some, never at once.
constexpr auto kAcceptBackoff = std::chrono::milliseconds(100);
constexpr int kShedOnFailure = 16;

using Clock = std::chrono::steady_clock;

class Connection;

}  // namespace

long openFileLimit() {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return 1024;
    if (limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
        getrlimit(RLIMIT_NOFILE, &limit);
    }
    return static_cast<long>(std::min<rlim_t>(limit.rlim_cur, 1u << 30));
}

struct HttpServer::Impl {
    Impl(Api& a, HttpOptions o, std::function<void(const std::string&)> l)
        : api(a), options(std::move(o)), log(std::move(l)), acceptor(io), acceptRetry(io), signals(io, SIGTERM, SIGINT),
          replays(static_cast<std::size_t>(options.replayThreads)) {}

    Api& api;
    HttpOptions options;
    std::function<void(const std::string&)> log;
    // Every connection held, to count them and to free the longest waiting. Declared before
    // the io_context, whose end destroys the connections still pending, which forget themselves here.
    std::mutex connectionsMutex;
    std::map<Connection*, std::weak_ptr<Connection>> connections;
    asio::io_context io;
    tcp::acceptor acceptor;
    asio::steady_timer acceptRetry;
    asio::signal_set signals;
    asio::thread_pool replays;
    std::atomic<int> inFlight{0};
    std::atomic<bool> stopping{false};
    Clock::time_point lastAcceptFailure;

    void accept();
    void acceptFailed(const beast::error_code& ec);
    // Takes a new connection in: false when the cap is reached and none can make room for it.
    bool admit(const std::shared_ptr<Connection>& connection);
    void forget(Connection* connection);
    // Closes up to `most` connections waiting for a request, the longest waiting first.
    int shed(int most);
    void shutdown();
};

namespace {

class Connection : public std::enable_shared_from_this<Connection> {
public:
    Connection(tcp::socket socket, HttpServer::Impl& server) : stream_(std::move(socket)), server_(server) {
        beast::error_code ec;
        const auto peer = stream_.socket().remote_endpoint(ec);
        client_ = ec ? std::string("?") : peer.address().to_string();
    }
    ~Connection() {
        if (admitted_) server_.forget(this);
    }

    void read() {
        parser_.emplace();
        parser_->header_limit(kMostHeaderBytes);
        parser_->body_limit(kMostBatchBytes);
        stream_.expires_after(kRequestTimeout);
        waitingSince_ = Clock::now().time_since_epoch().count();
        // Waiting for a request until its headers are in; from then on it is in the middle of
        // one (a batch on its way), which a newcomer never takes the place of.
        http::async_read_header(stream_, buffer_, *parser_, [self = shared_from_this()](beast::error_code ec, std::size_t) {
            if (ec) return self->onRead(ec);
            self->waitingSince_ = -1;
            http::async_read(self->stream_, self->buffer_, *self->parser_,
                             [self](beast::error_code ec, std::size_t) { self->onRead(ec); });
        });
    }

    // Over the cap, with none to make room: said at once, in a few bytes, and closed.
    void refuse() {
        static const std::string kBody = "{\"error\":\"busy\",\"message\":\"this server holds all the connections it can; try again\"}\n";
        static const std::string kBusy = "HTTP/1.1 503 Service Unavailable\r\nServer: bopatron-server\r\n"
                                         "Content-Type: application/json\r\nRetry-After: 1\r\nConnection: close\r\n"
                                         "Content-Length: " + std::to_string(kBody.size()) + "\r\n\r\n" + kBody;
        beast::error_code ignored;
        stream_.socket().non_blocking(true, ignored);
        stream_.socket().write_some(asio::buffer(kBusy), ignored);
        close();
    }
    void admitted() { admitted_ = true; }
    // How long it has waited for a request, in the clock's ticks; -1 from its headers on, while
    // its body comes and it is answered.
    Clock::rep waitingSince() const { return waitingSince_; }
    // Closes it from any thread: on its own strand, where everything else it does runs.
    void closeSoon() {
        asio::post(stream_.get_executor(), [self = shared_from_this()] { self->close(); });
    }

private:
    // The client's address: the peer's, or behind the trusted proxy the last
    // address of X-Forwarded-For (the one the proxy itself saw), when it is one.
    std::string clientOf(const http::request<http::string_body>& request) const {
        const auto header = request.find("X-Forwarded-For");
        return clientAddress(client_, server_.options.trustedProxy,
                             header == request.end() ? std::string_view() : std::string_view(header->value().data(), header->value().size()));
    }

    void onRead(beast::error_code ec) {
        waitingSince_ = -1;
        if (ec == beast::error::timeout) server_.api.metrics().connectionDropped("timeout");
        if (ec == http::error::end_of_stream || ec == asio::error::operation_aborted || ec == beast::error::timeout ||
            ec == asio::error::connection_reset || ec == asio::error::eof) {
            close();
            return;
        }
        if (ec == http::error::body_limit) {
            respond(Response{413, "application/json",
                             "{\"error\":\"too-large\",\"message\":\"a batch holds at most 256 KB\"}\n"},
                    false, "?", "?");
            return;
        }
        if (ec) {
            respond(Response{400, "application/json",
                             "{\"error\":\"malformed\",\"message\":\"the request cannot be read as HTTP\"}\n"},
                    false, "?", "?");
            return;
        }
        http::request<http::string_body> request = parser_->release();
        Request r{std::string(request.method_string()), std::string(request.target()), std::move(request.body()),
                  clientOf(request)};
        const bool keepAlive = request.keep_alive() && !server_.stopping;
        start_ = std::chrono::steady_clock::now();
        ++server_.inFlight;
        const bool api = Api::serves(r.target);
        if (api && Api::mayReplay(r)) {
            // A claim may replay a round: off the network threads.
            server_.api.metrics().replayQueue().Increment();
            asio::post(server_.replays, [self = shared_from_this(), r = std::move(r), keepAlive]() mutable {
                Response response = self->server_.api.handle(r);
                self->server_.api.metrics().replayQueue().Decrement();
                asio::post(self->stream_.get_executor(), [self, response = std::move(response), keepAlive,
                                                          method = r.method, target = r.target]() mutable {
                    self->respond(std::move(response), keepAlive, method, target);
                });
            });
            return;
        }
        Response response = api                  ? server_.api.handle(r)
                            : server_.options.site ? siteFile(*server_.options.site,
                                                              {r.method, r.target, std::string(request[http::field::accept_encoding]),
                                                               std::string(request[http::field::if_none_match])})
                                                   : Response{404, "text/plain; charset=utf-8", "not found\n"};
        respond(std::move(response), keepAlive, r.method, r.target);
    }

    void respond(Response response, bool keepAlive, const std::string& method, const std::string& target) {
        const bool counted = method != "?";
        auto res = std::make_shared<http::response<http::string_body>>(static_cast<http::status>(response.status), 11);
        res->set(http::field::server, "bopatron-server");
        res->set(http::field::content_type, response.contentType);
        res->set(http::field::cache_control, "no-cache");
        res->set("X-Content-Type-Options", "nosniff");
        res->set("Content-Security-Policy", kContentSecurityPolicy);
        res->set("Referrer-Policy", kReferrerPolicy);
        res->set("Permissions-Policy", kPermissionsPolicy);
        // Tells the page it came from a world table, and where its protocol is, without a
        // request under /api/ that a plain static server would answer 404.
        res->set("Bopatron-World", "/api/");
        res->set("Server-Timing", "bopatron-world");  // the same, where the page itself can read it
        for (const auto& [name, value] : response.headers) res->set(name, value);
        res->keep_alive(keepAlive);
        const std::size_t size = response.body.size();
        res->body() = method == "HEAD" ? std::string() : std::move(response.body);
        res->prepare_payload();
        if (method == "HEAD") res->content_length(size);
        if (counted) {
            const std::chrono::duration<double, std::milli> spent = std::chrono::steady_clock::now() - start_;
            const std::string shown = Api::loggedPath(target);
            char ms[32];
            std::snprintf(ms, sizeof ms, "%.1f", spent.count());
            server_.log(method + " " + shown.substr(0, 200) + " " + std::to_string(response.status) + " " + ms + " ms");
        }
        stream_.expires_after(kRequestTimeout);
        http::async_write(stream_, *res, [self = shared_from_this(), res, keepAlive, counted](beast::error_code ec, std::size_t) {
            if (counted) --self->server_.inFlight;
            if (ec || !keepAlive) {
                self->close();
                return;
            }
            self->read();
        });
    }

    void close() {
        beast::error_code ignored;
        stream_.socket().shutdown(tcp::socket::shutdown_send, ignored);
        stream_.socket().close(ignored);
    }

    beast::tcp_stream stream_;
    HttpServer::Impl& server_;
    beast::flat_buffer buffer_;
    std::optional<http::request_parser<http::string_body>> parser_;
    std::string client_;
    std::chrono::steady_clock::time_point start_;
    std::atomic<Clock::rep> waitingSince_{-1};
    bool admitted_ = false;
};

}  // namespace

void HttpServer::Impl::accept() {
    acceptor.async_accept(asio::make_strand(io), [this](beast::error_code ec, tcp::socket socket) {
        if (stopping) return;
        if (ec) {
            acceptFailed(ec);
            return;
        }
        auto connection = std::make_shared<Connection>(std::move(socket), *this);
        if (admit(connection)) connection->read();
        else connection->refuse();
        accept();
    });
}

void HttpServer::Impl::acceptFailed(const beast::error_code& ec) {
    api.metrics().connectionDropped("descriptors");
    const int freed = shed(kShedOnFailure);
    if (Clock::now() - lastAcceptFailure > std::chrono::seconds(10)) {
        log("accepting a connection failed (" + ec.message() + "); closed " + std::to_string(freed) +
            " waiting the longest, trying again in 100 ms");
        lastAcceptFailure = Clock::now();
    }
    acceptRetry.expires_after(kAcceptBackoff);
    acceptRetry.async_wait([this](beast::error_code) {
        if (!stopping) accept();
    });
}

bool HttpServer::Impl::admit(const std::shared_ptr<Connection>& connection) {
    {
        std::lock_guard lock(connectionsMutex);
        if (static_cast<int>(connections.size()) < options.mostConnections) {
            connections.emplace(connection.get(), connection);
            connection->admitted();
            api.metrics().connections().Increment();
            return true;
        }
    }
    // At the cap, a newcomer takes the place of the connection that has waited longest for a
    // request (idle between batches, or a client still sending its headers).
    if (shed(1) == 0) {
        api.metrics().connectionDropped("over-cap");
        return false;
    }
    std::lock_guard lock(connectionsMutex);
    connections.emplace(connection.get(), connection);
    connection->admitted();
    api.metrics().connections().Increment();
    return true;
}

void HttpServer::Impl::forget(Connection* connection) {
    std::lock_guard lock(connectionsMutex);
    if (connections.erase(connection) > 0) api.metrics().connections().Decrement();
}

int HttpServer::Impl::shed(int most) {
    std::vector<std::pair<Clock::rep, std::shared_ptr<Connection>>> waiting;
    {
        std::lock_guard lock(connectionsMutex);
        for (const auto& [raw, weak] : connections) {
            const Clock::rep since = raw->waitingSince();
            if (since < 0) continue;
            if (auto c = weak.lock()) waiting.emplace_back(since, std::move(c));
        }
        std::sort(waiting.begin(), waiting.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
        if (static_cast<int>(waiting.size()) > most) waiting.resize(static_cast<std::size_t>(most));
        // Counted out at once, so that the newcomer's place is there before the close is done.
        for (const auto& w : waiting)
            if (connections.erase(w.second.get()) > 0) api.metrics().connections().Decrement();
    }
    for (const auto& w : waiting) {
        api.metrics().connectionDropped("shed");
        w.second->closeSoon();
    }
    return static_cast<int>(waiting.size());
}

void HttpServer::Impl::shutdown() {
    api.drain();
    stopping = true;
    beast::error_code ignored;
    acceptor.close(ignored);
    acceptRetry.cancel();
    // Requests in flight are answered; then everything stops, idle connections with it.
    auto timer = std::make_shared<asio::steady_timer>(io);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    struct Waiter {
        Impl* impl;
        std::shared_ptr<asio::steady_timer> timer;
        std::chrono::steady_clock::time_point deadline;
        void operator()() const {
            if (impl->inFlight == 0 || std::chrono::steady_clock::now() > deadline) {
                impl->io.stop();
                return;
            }
            timer->expires_after(std::chrono::milliseconds(20));
            timer->async_wait([w = *this](beast::error_code) { w(); });
        }
    };
    Waiter{this, timer, deadline}();
}

HttpServer::HttpServer(Api& api, HttpOptions options, std::function<void(const std::string&)> log)
    : impl_(std::make_unique<Impl>(api, std::move(options), std::move(log))) {}

HttpServer::~HttpServer() { impl_->replays.join(); }

void HttpServer::listen() {
    beast::error_code ec;
    const auto address = asio::ip::make_address(impl_->options.bind, ec);
    if (ec) throw std::runtime_error("'" + impl_->options.bind + "' is not an address to listen on");
    const tcp::endpoint endpoint(address, impl_->options.port);
    auto& a = impl_->acceptor;
    a.open(endpoint.protocol(), ec);
    if (!ec) a.set_option(asio::socket_base::reuse_address(true), ec);
    if (!ec) a.bind(endpoint, ec);
    if (!ec) a.listen(asio::socket_base::max_listen_connections, ec);
    if (ec) {
        throw std::runtime_error("cannot listen on " + impl_->options.bind + ":" + std::to_string(impl_->options.port) +
                                 ": " + ec.message());
    }
}

unsigned short HttpServer::port() const { return impl_->acceptor.local_endpoint().port(); }

void HttpServer::run() {
    impl_->signals.async_wait([this](beast::error_code ec, int) {
        if (!ec) impl_->shutdown();
    });
    impl_->accept();
    std::vector<std::thread> threads;
    for (int i = 1; i < impl_->options.networkThreads; ++i) threads.emplace_back([this] { impl_->io.run(); });
    impl_->io.run();
    for (std::thread& t : threads) t.join();
    impl_->replays.join();
}

}  // namespace bopatron::server
