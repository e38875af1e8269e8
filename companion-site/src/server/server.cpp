// Two threads, each with an event loop of its own, carry every connection's
// bytes without ever blocking; the application's own work (password hashes,
// the database, the disk) runs on a small pool of worker threads.

#include "server/server.h"

#include <malloc.h>
#include <signal.h>
#include <sys/resource.h>

#include <boost/asio/signal_set.hpp>
#include <boost/asio/ssl/context.hpp>
#include <boost/asio/steady_timer.hpp>

#include <functional>
#include <ostream>
#include <vector>

#include "server/connection/client_connection.h"
#include "server/event_loops.h"
#include "server/listener.h"
#include "server/metrics_endpoint.h"
#include "server/shared.h"

namespace site {
namespace {

constexpr int kIoThreads = 2;
constexpr auto kStopTime = std::chrono::milliseconds(4500);  // SIGTERM to exit, all told
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

std::string shownHost(const std::string& host) {
    return host == "127.0.0.1" || host == "::1" || host == "localhost" ? "localhost" : host;
}

}  // namespace

// The event loop and its ports. Its queue keeps the handlers of unfinished
// steps, and with them their connections, until it is destroyed.
struct Network {
    asio::io_context io{1};
    tcp::acceptor acceptor{io};
    tcp::acceptor metricsAcceptor{io};
};

struct Server::Parts {
    ServerOptions options;
    asio::ssl::context tls{asio::ssl::context::tls_server};
    std::unique_ptr<Network> network = std::make_unique<Network>();
    std::size_t maxConnections = 0;
    std::string localUrl;
};

Server::Server(ServerOptions options) : parts_(std::make_unique<Parts>()) {
    parts_->options = std::move(options);
}

Server::~Server() = default;

const std::string& Server::localUrl() const {
    return parts_->localUrl;
}

bool Server::open(std::ostream& out, std::ostream& err) {
    ::signal(SIGPIPE, SIG_IGN);
    const ServerOptions& options = parts_->options;
    if (!configureTls(parts_->tls.native_handle(), options.certificate, options.key)) {
        err << "cannot load the certificate " << options.certificate << " with the key " << options.key << '\n';
        return false;
    }
    // Each connection may hold a socket and a file.
    const rlim_t descriptors = raiseDescriptorLimit();
    parts_->maxConnections = static_cast<std::size_t>(std::min<rlim_t>(
        options.maxConnections, descriptors > kDescriptorsKept * 2 ? (descriptors - kDescriptorsKept) / 2 : 1));
    if (parts_->maxConnections < static_cast<std::size_t>(options.maxConnections))
        err << "at most " << parts_->maxConnections << " connections: the limit of open files is " << descriptors
            << '\n';

    Network& network = *parts_->network;
    const auto endpoint = listenOn(network.io, network.acceptor, options.listen);
    if (!endpoint) {
        err << "cannot listen on " << options.listen.host << ':' << options.listen.port << '\n';
        return false;
    }
    parts_->localUrl = "https://" + shownHost(options.listen.host) + ":" + std::to_string(endpoint->port());
    if (options.metricsListen) {
        const auto metricsEndpoint = listenOn(network.io, network.metricsAcceptor, *options.metricsListen);
        if (!metricsEndpoint) {
            err << "cannot listen for metrics on " << options.metricsListen->host << ':' << options.metricsListen->port
                << '\n';
            return false;
        }
        out << "metrics on http://" << shownHost(options.metricsListen->host) << ':' << metricsEndpoint->port()
            << "/metrics" << std::endl;
    }
    return true;
}

void Server::run(Application& application, std::ostream& out) {
    const ServerOptions& options = parts_->options;
    Shared shared{application, parts_->tls,
                  ConnectionLimits(parts_->maxConnections, static_cast<std::size_t>(options.maxConnectionsPerClient)),
                  std::nullopt};
    shared.workers.emplace(static_cast<std::size_t>(options.threads));
    {
        // Declared after `shared` and ended here, before it: whatever still
        // holds a connection (the loops' queues and the workers' included) is
        // gone before what the connection uses, the application among them.
        const std::unique_ptr<Network> network = std::move(parts_->network);
        asio::io_context& io = network->io;
        EventLoops loops(io, kIoThreads);
        Listener listener(loops, network->acceptor,
                          [&shared](tcp::socket socket) { admitClient(shared, std::move(socket)); });
        Listener metricsListener(loops, network->metricsAcceptor, metricsAdmission(shared));
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
        out << "listening on " << parts_->localUrl << std::endl;
        runLogged(io);
        loops.stop();
        // Work not yet begun is dropped; what is running ends first.
        shared.workers->stop();
        shared.workers->join();
        shared.workers.reset();
    }
    out << "stopped" << std::endl;
}

}  // namespace site
