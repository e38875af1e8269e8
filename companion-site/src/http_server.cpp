#include "http_server.h"

#include <httplib.h>
#include <openssl/ssl.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <optional>
#include <ostream>
#include <thread>

#include "quota.h"
#include "site.h"

namespace site {
namespace {

using SteadyTime = std::chrono::steady_clock::time_point;

// The request being served by this thread started here; set before the body
// is read, cleared once its log line is written.
thread_local std::optional<SteadyTime> requestStart;

bool loadCertificate(SSL_CTX& context, const std::string& certificate, const std::string& key) {
    SSL_CTX_set_min_proto_version(&context, TLS1_2_VERSION);
    SSL_CTX_set_options(&context, SSL_OP_NO_COMPRESSION | SSL_OP_NO_RENEGOTIATION);
    return SSL_CTX_use_certificate_chain_file(&context, certificate.c_str()) == 1 &&
           SSL_CTX_use_PrivateKey_file(&context, key.c_str(), SSL_FILETYPE_PEM) == 1 &&
           SSL_CTX_check_private_key(&context) == 1;
}

SiteRequest toSiteRequest(const httplib::Request& request) {
    SiteRequest converted{request.method, request.path, {}, request.remote_addr, {}, false};
    for (const auto& [name, value] : request.headers) {
        std::string lower = name;
        for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        converted.headers.emplace(std::move(lower), value);
    }
    return converted;
}

void apply(const SiteResponse& answer, httplib::Response& response) {
    response.status = answer.status;
    for (const auto& [name, value] : answer.headers) response.headers.emplace(name, value);
    response.set_content(answer.body, answer.contentType.c_str());
}

// Reads the body up to the route's limit; the rest is read and dropped, so
// memory stays bounded and the connection stays in step.
void readBody(const httplib::Request& request, const httplib::ContentReader& reader, SiteRequest& converted) {
    const std::size_t limit = bodyLimitFor(request.path);
    const auto keep = [&](const char* data, std::size_t length) {
        if (converted.bodyTooLarge || converted.body.size() + length > limit) {
            converted.bodyTooLarge = true;
            converted.body.clear();
        } else {
            converted.body.append(data, length);
        }
        return true;
    };
    const auto drop = [](const char*, std::size_t) { return true; };
    // No route takes multipart forms: their parts are read and dropped.
    const bool whole = request.is_multipart_form_data()
                           ? reader([](const httplib::MultipartFormData&) { return true; }, drop)
                           : reader(keep);
    // The reader refuses a body over the server's cap without passing any of
    // it on; what is left must not pass for a whole (empty) body.
    if (!whole) {
        converted.bodyTooLarge = true;
        converted.body.clear();
    }
}

void logRequest(const httplib::Request& request, const httplib::Response& response) {
    double milliseconds = 0;
    if (requestStart) {
        milliseconds = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - *requestStart).count();
        requestStart.reset();
    }
    char line[512];
    const int length = std::snprintf(line, sizeof line, "%s %s %d %.1f ms\n", pathForLog(request.method).c_str(),
                                     pathForLog(request.path).c_str(), response.status, milliseconds);
    // One write per line, so lines of parallel requests never interleave.
    if (length > 0) {
        const ssize_t written = ::write(STDERR_FILENO, line, std::min<std::size_t>(length, sizeof line - 1));
        static_cast<void>(written);
    }
}

// Socket settings take effect when the listening socket is made, so they
// come before the bind.
void configure(httplib::Server& server, int threads) {
    server.new_task_queue = [threads] { return new httplib::ThreadPool(static_cast<std::size_t>(threads)); };
    server.set_payload_max_length(kMaxShotBytes);
    server.set_keep_alive_max_count(10000);
    server.set_keep_alive_timeout(5);
    server.set_read_timeout(20);
    server.set_write_timeout(20);
    server.set_tcp_nodelay(true);
}

void route(httplib::Server& server, Site& site) {
    server.set_logger(logRequest);
    server.set_pre_routing_handler([](const httplib::Request&, httplib::Response&) {
        requestStart = std::chrono::steady_clock::now();
        return httplib::Server::HandlerResponse::Unhandled;
    });
    server.set_error_handler(httplib::Server::HandlerWithResponse(
        [](const httplib::Request& request, httplib::Response& response) {
            if (!response.body.empty()) return httplib::Server::HandlerResponse::Unhandled;
            apply(fallbackResponse(response.status, request.path), response);
            return httplib::Server::HandlerResponse::Handled;
        }));
    server.set_exception_handler([](const httplib::Request& request, httplib::Response& response, std::exception_ptr) {
        apply(fallbackResponse(500, request.path), response);
    });

    const auto withoutBody = [&site](const httplib::Request& request, httplib::Response& response) {
        apply(site.handle(toSiteRequest(request)), response);
    };
    const auto withBody = [&site](const httplib::Request& request, httplib::Response& response,
                                  const httplib::ContentReader& reader) {
        SiteRequest converted = toSiteRequest(request);
        readBody(request, reader, converted);
        apply(site.handle(converted), response);
    };
    server.Get(".*", withoutBody);
    server.Options(".*", withoutBody);
    server.Post(".*", withBody);
    server.Put(".*", withBody);
    server.Patch(".*", withBody);
    server.Delete(".*", withBody);
}

std::string shownHost(const std::string& host) {
    return host == "127.0.0.1" || host == "::1" || host == "localhost" ? "localhost" : host;
}

// Sweeps every `seconds` until told to stop.
class Sweeper {
public:
    Sweeper(Site& site, int seconds) : thread_([this, &site, seconds] { run(site, seconds); }) {}
    ~Sweeper() {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        wake_.notify_all();
        thread_.join();
    }

private:
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    std::thread thread_;

    void run(Site& site, int seconds) {
        std::unique_lock lock(mutex_);
        while (!wake_.wait_for(lock, std::chrono::seconds(seconds), [this] { return stopping_; })) {
            lock.unlock();
            site.sweep();
            lock.lock();
        }
    }
};

}  // namespace

std::filesystem::path databasePath(const std::filesystem::path& data) {
    return data / "site.db";
}

std::filesystem::path shotsFolder(const std::filesystem::path& data) {
    return data / "shots";
}

int serve(const ServeOptions& options, std::ostream& out, std::ostream& err) {
    // Signals are taken by one waiting thread, never by a handler.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    ::signal(SIGPIPE, SIG_IGN);

    std::filesystem::create_directories(options.data);
    Store store(databasePath(options.data).string());
    ShotFiles files(shotsFolder(options.data), true);
    const int strays = files.removeStrays([&](const std::string& id) { return store.hasShot(id); });
    if (strays > 0) err << "removed " << strays << " unfinished or orphaned shot files\n";

    httplib::SSLServer server([&](SSL_CTX& context) { return loadCertificate(context, options.certificate, options.key); });
    if (!server.is_valid()) {
        err << "cannot load the certificate " << options.certificate << " with the key " << options.key << '\n';
        return 1;
    }
    configure(server, options.threads);
    const int port = options.listen.port == 0 ? server.bind_to_any_port(options.listen.host)
                     : server.bind_to_port(options.listen.host, options.listen.port) ? options.listen.port
                                                                                       : -1;
    if (port <= 0) {
        err << "cannot listen on " << options.listen.host << ':' << options.listen.port << '\n';
        return 1;
    }
    const std::string localUrl = "https://" + shownHost(options.listen.host) + ":" + std::to_string(port);
    Site site(store, files, systemClock, options.publicUrl.empty() ? localUrl : options.publicUrl);
    site.sweep();
    route(server, site);

    std::atomic<bool> stopRequested{false};
    std::thread signalWaiter([&] {
        int signal = 0;
        sigwait(&stopSignals, &signal);
        stopRequested = true;
        server.stop();
    });
    bool listened = false;
    {
        Sweeper sweeper(site, options.sweepSeconds);
        out << "listening on " << localUrl << std::endl;
        listened = server.listen_after_bind();
    }
    // When the server ended on its own, the waiter still waits: wake it.
    if (!stopRequested) ::kill(::getpid(), SIGTERM);
    signalWaiter.join();
    out << "stopped" << std::endl;
    return listened ? 0 : 1;
}

}  // namespace site
