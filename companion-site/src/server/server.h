#pragma once
// The HTTPS server around an Application: TLS, event-driven connections
// with deadlines and caps, a small pool of threads for the application's
// work, the access log, the metrics page and a stop on SIGTERM within five
// seconds.

#include <iosfwd>
#include <memory>
#include <optional>
#include <string>

#include "base/addresses.h"
#include "http/application.h"

namespace site {

struct ServerOptions {
    ListenAddress listen{"127.0.0.1", 8443};
    std::string certificate;
    std::string key;
    int threads = 8;  // for the application's work: password hashes, the database, the disk
    int sweepSeconds = 60;
    int maxConnections = 10000;
    int maxConnectionsPerClient = 64;
    // Where the plain-HTTP metrics page listens; nowhere when not set.
    std::optional<ListenAddress> metricsListen;
};

class Server {
public:
    explicit Server(ServerOptions options);
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;
    ~Server();

    // Loads the certificate and opens the ports; prints "metrics on
    // http://..." when asked for. False, with the reason on `err`, when it
    // cannot.
    bool open(std::ostream& out, std::ostream& err);
    // Where it listens once open, as "https://localhost:8443".
    const std::string& localUrl() const;
    // Serves `application` until SIGTERM or SIGINT: prints "listening on
    // https://..." once it accepts, and "stopped" at the end.
    void run(Application& application, std::ostream& out);

private:
    struct Parts;
    std::unique_ptr<Parts> parts_;
};

}  // namespace site
