// The only file that sees Boost.Beast and Asio: two threads carry every
// connection's bytes without ever blocking; the site's own work (password
// hashes, the database, the disk) runs on a small pool of worker threads.

#include "http_server.h"

#include <malloc.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <boost/asio/signal_set.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/strand.hpp>
#include <boost/asio/thread_pool.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/ssl.hpp>

#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <functional>
#include <limits>
#include <mutex>
#include <optional>
#include <ostream>
#include <thread>
#include <unordered_map>
#include <vector>

#include "http/application.h"
#include "http/connection_limits.h"
#include "http/rules.h"
#include "observability/access_log.h"
#include "observability/request_metrics.h"
#include "web/site.h"

namespace site {
namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;
using ErrorCode = beast::error_code;
using SteadyClock = std::chrono::steady_clock;

constexpr int kIoThreads = 2;
constexpr std::size_t kPieceBytes = 64 * 1024;             // one step of a body in or out
constexpr std::size_t kReadBufferBytes = 32 * 1024;        // headers and what follows them
constexpr auto kStopTime = std::chrono::milliseconds(4500);  // SIGTERM to exit, all told
constexpr auto kLingerTime = std::chrono::seconds(2);
constexpr auto kTrimEvery = std::chrono::seconds(2);
constexpr rlim_t kDescriptorsKept = 64;  // for the database, the log and the listener
// TLS 1.2 only with forward secrecy and authenticated encryption; TLS 1.3
// keeps its own suites.
constexpr char kTls12Ciphers[] =
    "ECDHE-ECDSA-AES128-GCM-SHA256:ECDHE-RSA-AES128-GCM-SHA256:ECDHE-ECDSA-AES256-GCM-SHA384:"
    "ECDHE-RSA-AES256-GCM-SHA384:ECDHE-ECDSA-CHACHA20-POLY1305:ECDHE-RSA-CHACHA20-POLY1305";

bool configureTls(SSL_CTX* context, const std::string& certificate, const std::string& key) {
    SSL_CTX_set_min_proto_version(context, TLS1_2_VERSION);
    SSL_CTX_set_options(context, SSL_OP_NO_COMPRESSION | SSL_OP_NO_RENEGOTIATION | SSL_OP_CIPHER_SERVER_PREFERENCE);
    SSL_CTX_set_mode(context, SSL_MODE_RELEASE_BUFFERS);
    return SSL_CTX_set_cipher_list(context, kTls12Ciphers) == 1 &&
           SSL_CTX_use_certificate_chain_file(context, certificate.c_str()) == 1 &&
           SSL_CTX_use_PrivateKey_file(context, key.c_str(), SSL_FILETYPE_PEM) == 1 &&
           SSL_CTX_check_private_key(context) == 1;
}

bool isKnownMethod(std::string_view method) {
    for (const char* known : {"GET", "HEAD", "POST", "PUT", "DELETE", "OPTIONS", "PATCH"}) {
        if (method == known) return true;
    }
    return false;
}

std::string lowerCase(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower;
}

// A malformed request, as opposed to a connection that failed or went quiet.
bool isParseError(const ErrorCode& error) {
    return error.category() == http::make_error_code(http::error::bad_target).category() &&
           error != http::error::end_of_stream && error != http::error::partial_message;
}

// One write per line, so lines of parallel requests never interleave.
void writeLog(const std::string& line) {
    const ssize_t written = ::write(STDERR_FILENO, line.data(), line.size());
    static_cast<void>(written);
}

// The peer's address as people write it: an IPv4 client on a dual-stack
// socket without its "::ffff:".
std::string addressOf(const tcp::endpoint& peer) {
    const auto address = peer.address();
    if (address.is_v6() && address.to_v6().is_v4_mapped())
        return asio::ip::make_address_v4(asio::ip::v4_mapped, address.to_v6()).to_string();
    return address.to_string();
}

class ClientConnection;

// What all connections share.
struct Shared {
    Application& app;
    asio::ssl::context& tls;
    const Histogram& storeOperations;
    ConnectionLimits limits;
    std::optional<asio::thread_pool> workers;
    std::atomic<bool> stopping{false};
    std::atomic<bool> trimDue{false};
    std::mutex mutex;
    std::unordered_map<ClientConnection*, std::weak_ptr<ClientConnection>> open;
    RequestMetrics requests{app.routeNames().names, app.routeNames().upload};
};

// One client connection. Every step runs on its strand; the site's work
// runs on the workers and comes back to the strand with its result.
class ClientConnection : public std::enable_shared_from_this<ClientConnection> {
public:
    ClientConnection(Shared& shared, tcp::socket socket, std::string address, std::string client)
        : shared_(shared),
          stream_(std::move(socket), shared.tls),
          address_(std::move(address)),
          client_(std::move(client)) {}

    ~ClientConnection() {
        if (status_ != 0) finish(source_ ? moved_ : 0);  // an answer cut short
        shared_.limits.release(client_);
        shared_.trimDue = true;
        std::lock_guard lock(shared_.mutex);
        shared_.open.erase(this);
    }

    void start() {
        {
            std::lock_guard lock(shared_.mutex);
            shared_.open.emplace(this, weak_from_this());
        }
        if (shared_.stopping) return;
        lowest().expires_after(kHeaderTime);
        stream_.async_handshake(asio::ssl::stream_base::server, [self = shared_from_this()](ErrorCode error) {
            if (!error) self->nextRequest();
        });
    }

    // On SIGTERM: ends the connection at once unless a request is in flight,
    // which is answered first.
    void stop() {
        asio::post(stream_.get_executor(), [self = shared_from_this()] {
            if (!self->inFlight_) self->lowest().close();
        });
    }

private:
    Shared& shared_;
    beast::ssl_stream<beast::tcp_stream> stream_;
    const std::string address_;
    const std::string client_;  // the key its connections are counted under
    beast::flat_buffer buffer_{kReadBufferBytes};
    std::optional<http::request_parser<http::buffer_body>> parser_;
    SiteRequest request_;
    unsigned version_ = 11;
    bool keepAlive_ = false;
    bool head_ = false;
    bool inFlight_ = false;  // from a whole request line and headers to the end of the answer
    int requests_ = 0;
    std::size_t bodyLimit_ = 0;
    std::uint64_t moved_ = 0;  // body bytes in or out so far
    SteadyClock::time_point requestStart_, transferStart_;
    std::int64_t startedAt_ = 0;  // the request's start, for the log
    std::uint64_t received_ = 0;  // body bytes of the request
    std::uint64_t answerBytes_ = 0;
    std::unique_ptr<char[]> piece_;
    std::optional<http::response<http::empty_body>> headOnly_;
    std::optional<http::response<http::string_body>> whole_;
    std::shared_ptr<ByteSource> source_;  // of the answer's body
    int status_ = 0;  // of the answer under way; 0 when none is
    std::uint64_t drainLeft_ = 0;

    beast::tcp_stream& lowest() { return beast::get_lowest_layer(stream_); }

    char* piece() {
        if (!piece_) piece_ = std::make_unique<char[]>(kPieceBytes);
        return piece_.get();
    }

    // Runs `work` on a worker, then `then` with its result on the strand.
    template <typename Work, typename Then>
    void onWorker(Work work, Then then) {
        asio::post(*shared_.workers, [self = shared_from_this(), work = std::move(work), then = std::move(then)]() mutable {
            auto result = work(*self);
            asio::post(self->stream_.get_executor(), [self, then = std::move(then), result = std::move(result)]() mutable {
                then(*self, std::move(result));
            });
        });
    }

    void nextRequest() {
        if (shared_.stopping) return;
        inFlight_ = false;
        parser_.emplace();
        parser_->header_limit(kMaxHeaderBytes);
        // The site's limits apply, before and while the body is read.
        parser_->body_limit(std::numeric_limits<std::uint64_t>::max());
        request_ = SiteRequest{};
        head_ = false;
        received_ = 0;
        if (requests_++ == 0) return readHeader();  // the deadline set before the handshake still runs
        if (buffer_.size() > 0) {
            lowest().expires_after(kHeaderTime);
            return readHeader();
        }
        buffer_.shrink_to_fit();
        // Idle until the first byte of the next request, then its headers.
        lowest().expires_after(kIdleTime);
        stream_.async_read_some(buffer_.prepare(kMaxHeaderBytes), [self = shared_from_this()](ErrorCode error, std::size_t got) {
            if (error) return;
            self->buffer_.commit(got);
            self->lowest().expires_after(kHeaderTime);
            self->readHeader();
        });
    }

    void readHeader() {
        http::async_read_header(stream_, buffer_, *parser_,
                                [self = shared_from_this()](ErrorCode error, std::size_t) { self->onHeader(error); });
    }

    void onHeader(ErrorCode error) {
        requestStart_ = SteadyClock::now();
        startedAt_ = systemClock();
        if (error == http::error::header_limit || error == http::error::buffer_overflow) return refuse(431);
        if (isParseError(error)) return refuse(400);
        if (error) return;  // gone, or too slow
        inFlight_ = true;
        lowest().expires_never();
        const auto& message = parser_->get();
        request_.method = std::string(message.method_string());
        const std::string_view target = message.target();
        request_.path = std::string(target.substr(0, target.find('?')));
        request_.remoteAddress = client_;
        version_ = message.version();
        std::vector<HeaderLine> lines;
        for (const auto& field : message) lines.push_back({lowerCase(field.name_string()), std::string(field.value())});
        if (const int problem = framingProblem(lines)) return refuse(problem);
        if (!isKnownMethod(request_.method) || (version_ != 10 && version_ != 11)) return refuse(400);
        for (auto& line : lines) request_.headers.emplace(std::move(line.name), std::move(line.value));
        keepAlive_ = message.keep_alive();
        head_ = request_.method == "HEAD";
        if (!parser_->is_done()) {
            onWorker([](ClientConnection& self) { return self.shared_.app.admit(self.request_); },
                     [](ClientConnection& self, Admission admission) { self.admitted(std::move(admission)); });
        } else {
            handleRequest();
        }
    }

    void admitted(Admission admission) {
        if (admission.refusal) return answer(std::move(*admission.refusal), true);
        bodyLimit_ = admission.bodyLimit;
        request_.bodySink = std::move(admission.bodySink);
        if (!beast::iequals(request_.header("expect"), "100-continue")) return readBody();
        headOnly_.emplace(http::status::continue_, version_);
        lowest().expires_after(kHeaderTime);
        http::async_write(stream_, *headOnly_, [self = shared_from_this()](ErrorCode error, std::size_t) {
            if (!error) self->readBody();
        });
    }

    void readBody() {
        transferStart_ = SteadyClock::now();
        moved_ = 0;
        readPiece();
    }

    void readPiece() {
        if (parser_->is_done()) return handleRequest();
        lowest().expires_at(transferStart_ + transferTime(moved_ + kPieceBytes));
        auto& body = parser_->get().body();
        body.data = piece();
        body.size = kPieceBytes;
        http::async_read(stream_, buffer_, *parser_,
                         [self = shared_from_this()](ErrorCode error, std::size_t) { self->onPiece(error); });
    }

    void onPiece(ErrorCode error) {
        if (error == http::error::need_buffer) error = {};
        if (isParseError(error)) return refuse(400);
        if (error) return;
        const std::size_t got = kPieceBytes - parser_->get().body().size;
        moved_ += got;
        received_ += got;
        if (moved_ > bodyLimit_) {
            // The rest stays unread, so the connection cannot carry on.
            request_.bodyTooLarge = true;
            keepAlive_ = false;
            return handleRequest();
        }
        if (!request_.bodySink) {
            request_.body.append(piece_.get(), got);
            return readPiece();
        }
        onWorker(
            [got](ClientConnection& self) {
                try {
                    self.request_.bodySink->append(std::string_view(self.piece_.get(), got));
                    return true;
                } catch (const std::exception& failure) {
                    std::fprintf(stderr, "error: storing an upload: %s\n", failure.what());
                    return false;
                }
            },
            [](ClientConnection& self, bool stored) {
                if (!stored) return self.answer(self.shared_.app.fallback(500, self.request_.path), true);
                self.readPiece();
            });
    }

    void handleRequest() {
        onWorker([](ClientConnection& self) { return self.shared_.app.handle(self.request_); },
                 [](ClientConnection& self, SiteResponse response) { self.answer(std::move(response), false); });
    }

    // An answer the HTTP layer gives on its own; the connection then ends.
    void refuse(int status) {
        inFlight_ = true;
        answer(shared_.app.fallback(status, request_.path), true);
    }

    template <typename Message>
    void fill(Message& message, const SiteResponse& response, std::uint64_t length) {
        message.version(version_);
        message.result(static_cast<unsigned>(response.status));
        for (const auto& [name, value] : response.headers) message.insert(name, value);
        if (!response.contentType.empty()) message.set(http::field::content_type, response.contentType);
        for (const auto& [name, value] : standardHeaders(systemClock())) message.set(name, value);
        message.content_length(length);
        message.keep_alive(keepAlive_);
    }

    void answer(SiteResponse response, bool close) {
        if (close || shared_.stopping) keepAlive_ = false;
        status_ = response.status;
        const std::uint64_t length = response.bodySource ? response.bodySource->size() : response.body.size();
        answerBytes_ = head_ ? 0 : length;
        transferStart_ = SteadyClock::now();
        moved_ = 0;
        const auto written = [self = shared_from_this()](ErrorCode error, std::size_t) {
            if (!error) self->source_ ? self->sendPiece() : self->answered();
        };
        if (head_ || response.bodySource) {
            source_ = head_ ? nullptr : std::move(response.bodySource);
            headOnly_.emplace();
            fill(*headOnly_, response, length);
            lowest().expires_at(transferStart_ + kTransferGrace);
            http::async_write(stream_, *headOnly_, written);
        } else {
            whole_.emplace();
            fill(*whole_, response, length);
            whole_->body() = std::move(response.body);
            lowest().expires_at(transferStart_ + transferTime(length));
            http::async_write(stream_, *whole_, written);
        }
    }

    void sendPiece() {
        onWorker(
            [](ClientConnection& self) -> std::size_t {
                try {
                    const std::uint64_t left = self.source_->size() - self.moved_;
                    return self.source_->read(self.piece(), static_cast<std::size_t>(std::min<std::uint64_t>(kPieceBytes, left)));
                } catch (const std::exception& failure) {
                    std::fprintf(stderr, "error: reading an answer's body: %s\n", failure.what());
                    return 0;
                }
            },
            [](ClientConnection& self, std::size_t got) {
                if (got == 0) return;  // the file ended early: an answer cut short can only be ended
                self.moved_ += got;
                self.lowest().expires_at(self.transferStart_ + transferTime(self.moved_));
                asio::async_write(self.stream_, asio::buffer(self.piece_.get(), got),
                                  [self = self.shared_from_this()](ErrorCode error, std::size_t) {
                                      if (error) return;
                                      self->moved_ == self->source_->size() ? self->answered() : self->sendPiece();
                                  });
            });
    }

    // The request's log line and figures.
    void finish(std::uint64_t bytesOut) {
        const double seconds = std::chrono::duration<double>(SteadyClock::now() - requestStart_).count();
        writeLog(accessLogLine(
            {address_, startedAt_, request_.method, shared_.app.shownPath(request_.path), version_, status_, bytesOut, seconds}));
        shared_.requests.record(shared_.app.routeOf(request_), status_, seconds, received_, bytesOut);
        status_ = 0;
    }

    void answered() {
        finish(answerBytes_);
        source_.reset();
        headOnly_.reset();
        whole_.reset();
        piece_.reset();
        if (keepAlive_ && !shared_.stopping) return nextRequest();
        linger();
    }

    // Sends FIN, then reads and drops what the client still sends of its
    // body, for as long as a client at the least rate would need, so that an
    // answer sent before the body is not lost to a reset. Nothing of it is
    // decrypted or kept.
    void linger() {
        inFlight_ = false;
        const std::uint64_t unread = unreadBody();
        ErrorCode ignored;
        lowest().socket().shutdown(tcp::socket::shutdown_send, ignored);
        lowest().expires_after(unread == 0 ? kLingerTime : transferTime(unread));
        drainLeft_ = unread + unread / 32 + kPieceBytes;  // the records around the body add a little
        drain();
    }

    std::uint64_t unreadBody() const {
        if (!parser_ || !parser_->is_header_done() || parser_->is_done()) return 0;
        const std::uint64_t largest = shared_.app.largestBody();
        return std::min<std::uint64_t>(parser_->content_length_remaining().value_or(largest), largest);
    }

    void drain() {
        lowest().async_read_some(asio::buffer(piece(), kPieceBytes), [self = shared_from_this()](ErrorCode error, std::size_t got) {
            if (error || got >= self->drainLeft_) return;
            self->drainLeft_ -= got;
            self->drain();
        });
    }
};

// Accepts connections and hands each to `admit`, which may close it at
// once: cheap, so a flood of connections costs the server little.
class Listener {
public:
    using Admit = std::function<void(tcp::socket)>;

    Listener(asio::io_context& io, tcp::acceptor& acceptor, Admit admit)
        : io_(io), acceptor_(acceptor), admit_(std::move(admit)), pause_(io) {}

    void accept() {
        acceptor_.async_accept(asio::make_strand(io_), [this](ErrorCode error, tcp::socket socket) {
            if (error == asio::error::operation_aborted) return;
            if (error) {
                // Out of descriptors or memory for a moment: try again soon.
                pause_.expires_after(std::chrono::milliseconds(100));
                pause_.async_wait([this](ErrorCode waited) {
                    if (!waited) accept();
                });
                return;
            }
            admit_(std::move(socket));
            accept();
        });
    }

    void stop() {
        ErrorCode ignored;
        acceptor_.close(ignored);
        pause_.cancel();
    }

private:
    asio::io_context& io_;
    tcp::acceptor& acceptor_;
    Admit admit_;
    asio::steady_timer pause_;
};

// A client connection, unless its address or the server is at its cap.
void admitClient(Shared& shared, tcp::socket socket) {
    ErrorCode error;
    const auto peer = socket.remote_endpoint(error);
    if (error) return;
    std::string address = addressOf(peer);
    std::string client = clientKey(address);
    if (!shared.limits.admit(client)) return;
    socket.set_option(tcp::no_delay(true), error);
    std::make_shared<ClientConnection>(shared, std::move(socket), std::move(address), std::move(client))->start();
}

// The metrics page: what the server and the site count, and the open
// connections, read on a worker since the site's figures may ask the store.
std::string metricsText(Shared& shared) {
    MetricsPage page;
    shared.requests.write(page);
    page.family("clipvane_open_connections", "gauge", "Client connections open now.");
    page.sample("clipvane_open_connections", {}, static_cast<double>(shared.limits.open()));
    page.family("clipvane_store_operation_duration_seconds", "histogram",
                "Store operations, from the wait for the store to their end.");
    page.histogram("clipvane_store_operation_duration_seconds", {}, shared.storeOperations);
    shared.app.writeMetrics(page);
    return page.text();
}

// One plain-HTTP request for the metrics page per connection, then close.
class MetricsConnection : public std::enable_shared_from_this<MetricsConnection> {
public:
    MetricsConnection(Shared& shared, tcp::socket socket, std::shared_ptr<std::atomic<int>> open)
        : shared_(shared), stream_(std::move(socket)), open_(std::move(open)) {}
    ~MetricsConnection() { --*open_; }

    void start() {
        parser_.header_limit(kMaxHeaderBytes);
        stream_.expires_after(kHeaderTime);
        http::async_read(stream_, buffer_, parser_, [self = shared_from_this()](ErrorCode error, std::size_t) {
            if (!error) self->onRequest();
        });
    }

private:
    Shared& shared_;
    beast::tcp_stream stream_;
    std::shared_ptr<std::atomic<int>> open_;
    beast::flat_buffer buffer_;
    http::request_parser<http::empty_body> parser_;
    http::response<http::string_body> response_;

    void onRequest() {
        const auto& request = parser_.get();
        const std::string_view target = request.target();
        if (request.method() != http::verb::get) return send(http::status::method_not_allowed, "GET only\n");
        if (target.substr(0, target.find('?')) != "/metrics") return send(http::status::not_found, "not found\n");
        asio::post(*shared_.workers, [self = shared_from_this()] {
            std::string text = metricsText(self->shared_);
            asio::post(self->stream_.get_executor(), [self, text = std::move(text)]() mutable {
                self->send(http::status::ok, std::move(text));
            });
        });
    }

    void send(http::status status, std::string body) {
        response_.result(status);
        response_.version(11);
        response_.set(http::field::content_type, status == http::status::ok
                                                     ? "text/plain; version=0.0.4; charset=utf-8"
                                                     : "text/plain; charset=utf-8");
        response_.body() = std::move(body);
        response_.prepare_payload();
        response_.keep_alive(false);
        stream_.expires_after(kHeaderTime);
        http::async_write(stream_, response_, [self = shared_from_this()](ErrorCode, std::size_t) {
            ErrorCode ignored;
            self->stream_.socket().shutdown(tcp::socket::shutdown_send, ignored);
        });
    }
};

// A connection to the metrics page, a few at a time.
Listener::Admit metricsAdmission(Shared& shared) {
    constexpr int kMaxOpen = 16;
    return [&shared, open = std::make_shared<std::atomic<int>>(0)](tcp::socket socket) {
        if (++*open > kMaxOpen) {
            --*open;
            return;
        }
        std::make_shared<MetricsConnection>(shared, std::move(socket), open)->start();
    };
}

// The sweep of expired things, and giving memory back after a burst.
class Housekeeping {
public:
    Housekeeping(asio::io_context& io, Shared& shared, int sweepSeconds)
        : shared_(shared), sweep_(io), trim_(io), sweepEvery_(sweepSeconds) {
        sweep();
        trim();
    }

    void stop() {
        sweep_.cancel();
        trim_.cancel();
    }

private:
    Shared& shared_;
    asio::steady_timer sweep_, trim_;
    std::chrono::seconds sweepEvery_;

    void sweep() {
        sweep_.expires_after(sweepEvery_);
        sweep_.async_wait([this](ErrorCode error) {
            if (error) return;
            asio::post(*shared_.workers, [this] { shared_.app.sweep(); });
            sweep();
        });
    }

    void trim() {
        trim_.expires_after(kTrimEvery);
        trim_.async_wait([this](ErrorCode error) {
            if (error) return;
            if (shared_.trimDue.exchange(false)) asio::post(*shared_.workers, [] { ::malloc_trim(0); });
            trim();
        });
    }
};

// As many descriptors as the system lets this process have.
rlim_t raiseDescriptorLimit() {
    rlimit limit{};
    ::getrlimit(RLIMIT_NOFILE, &limit);
    limit.rlim_cur = limit.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &limit);
    ::getrlimit(RLIMIT_NOFILE, &limit);
    return limit.rlim_cur;
}

std::optional<tcp::endpoint> listenOn(asio::io_context& io, tcp::acceptor& acceptor, const ListenAddress& address) {
    ErrorCode error;
    tcp::resolver resolver(io);
    const auto found = resolver.resolve(address.host, std::to_string(address.port), tcp::resolver::passive, error);
    if (error || found.empty()) return std::nullopt;
    const tcp::endpoint endpoint = found.begin()->endpoint();
    acceptor.open(endpoint.protocol(), error);
    if (!error) acceptor.set_option(tcp::acceptor::reuse_address(true), error);
    if (!error) acceptor.bind(endpoint, error);
    if (!error) acceptor.listen(asio::socket_base::max_listen_connections, error);
    if (error) return std::nullopt;
    return acceptor.local_endpoint();
}

std::string shownHost(const std::string& host) {
    return host == "127.0.0.1" || host == "::1" || host == "localhost" ? "localhost" : host;
}

void runLogged(asio::io_context& io) {
    for (;;) {
        try {
            io.run();
            return;
        } catch (const std::exception& error) {
            std::fprintf(stderr, "error: %s\n", error.what());
        }
    }
}

}  // namespace

std::filesystem::path databasePath(const std::filesystem::path& data) {
    return data / "site.db";
}

std::filesystem::path shotsFolder(const std::filesystem::path& data) {
    return data / "shots";
}

int serve(const ServeOptions& options, std::ostream& out, std::ostream& err) {
    ::signal(SIGPIPE, SIG_IGN);
    std::filesystem::create_directories(options.data);
    Histogram storeOperations(storeDurationBounds());
    const auto store = openStore(options.store);
    store->timeOperations(storeOperations);
    const auto files = store->shotStorage(shotsFolder(options.data));
    const int strays = files->removeStrays([&](const std::string& id) { return store->hasShot(id); });
    if (strays > 0) err << "removed " << strays << " unfinished or orphaned shot files\n";

    asio::ssl::context tls(asio::ssl::context::tls_server);
    if (!configureTls(tls.native_handle(), options.certificate, options.key)) {
        err << "cannot load the certificate " << options.certificate << " with the key " << options.key << '\n';
        return 1;
    }
    // Each connection may hold a socket and a shot file.
    const rlim_t descriptors = raiseDescriptorLimit();
    const auto maxConnections = static_cast<std::size_t>(
        std::min<rlim_t>(options.maxConnections, descriptors > kDescriptorsKept * 2 ? (descriptors - kDescriptorsKept) / 2 : 1));
    if (maxConnections < static_cast<std::size_t>(options.maxConnections))
        err << "at most " << maxConnections << " connections: the limit of open files is " << descriptors << '\n';

    asio::io_context io(kIoThreads);
    tcp::acceptor acceptor(io);
    const auto endpoint = listenOn(io, acceptor, options.listen);
    if (!endpoint) {
        err << "cannot listen on " << options.listen.host << ':' << options.listen.port << '\n';
        return 1;
    }
    const std::string localUrl = "https://" + shownHost(options.listen.host) + ":" + std::to_string(endpoint->port());
    tcp::acceptor metricsAcceptor(io);
    if (options.metricsListen) {
        const auto metricsEndpoint = listenOn(io, metricsAcceptor, *options.metricsListen);
        if (!metricsEndpoint) {
            err << "cannot listen for metrics on " << options.metricsListen->host << ':' << options.metricsListen->port
                << '\n';
            return 1;
        }
        out << "metrics on http://" << shownHost(options.metricsListen->host) << ':' << metricsEndpoint->port()
            << "/metrics" << std::endl;
    }
    Site site(*store, *files, systemClock, options.publicUrl.empty() ? localUrl : options.publicUrl);
    site.sweep();
    Shared shared{site, tls, storeOperations,
                  ConnectionLimits(maxConnections, static_cast<std::size_t>(options.maxConnectionsPerClient)),
                  std::nullopt};
    shared.workers.emplace(static_cast<std::size_t>(options.threads));
    // Declared after `shared` and `io`: whatever still holds a connection
    // is gone before what the connection uses.
    {
        Listener listener(io, acceptor, [&shared](tcp::socket socket) { admitClient(shared, std::move(socket)); });
        Listener metricsListener(io, metricsAcceptor, metricsAdmission(shared));
        Housekeeping housekeeping(io, shared, options.sweepSeconds);
        asio::steady_timer stopCheck(io);
        SteadyClock::time_point stopBy;
        std::function<void()> waitForConnections = [&] {
            if (shared.limits.open() == 0 || SteadyClock::now() >= stopBy) return io.stop();
            stopCheck.expires_after(std::chrono::milliseconds(20));
            stopCheck.async_wait([&](ErrorCode) { waitForConnections(); });
        };
        asio::signal_set signals(io, SIGTERM, SIGINT);
        signals.async_wait([&](ErrorCode error, int) {
            if (error) return;
            shared.stopping = true;
            listener.stop();
            metricsListener.stop();
            housekeeping.stop();
            std::vector<std::shared_ptr<ClientConnection>> open;
            {
                std::lock_guard lock(shared.mutex);
                for (const auto& [raw, weak] : shared.open) {
                    if (auto connection = weak.lock()) open.push_back(std::move(connection));
                }
            }
            for (const auto& connection : open) connection->stop();
            stopBy = SteadyClock::now() + kStopTime;
            asio::post(io, waitForConnections);
        });
        listener.accept();
        if (options.metricsListen) metricsListener.accept();
        out << "listening on " << localUrl << std::endl;
        std::thread second([&] { runLogged(io); });
        runLogged(io);
        second.join();
        // Work not yet begun is dropped; what is running ends first.
        shared.workers->stop();
        shared.workers->join();
        shared.workers.reset();
    }
    out << "stopped" << std::endl;
    return 0;
}

}  // namespace site
