#pragma once
// The HTTPS server around a Site: TLS, event-driven connections with
// deadlines and caps, a small pool of threads for the site's work, the
// access log, the metrics page and a stop on SIGTERM within five seconds.

#include <filesystem>
#include <iosfwd>
#include <optional>
#include <string>

#include "base/addresses.h"
#include "open_store.h"

namespace site {

struct ServeOptions {
    ListenAddress listen{"127.0.0.1", 8443};
    std::filesystem::path data;
    StoreLocation store;
    std::string certificate;
    std::string key;
    std::string publicUrl;  // empty: https://localhost:<port>
    int threads = 8;  // for the site's work: password hashes, the database, the disk
    int sweepSeconds = 60;
    int maxConnections = 10000;
    int maxConnectionsPerClient = 64;
    // Where the plain-HTTP metrics page listens; nowhere when not set.
    std::optional<ListenAddress> metricsListen;
};

// Runs until SIGTERM or SIGINT; prints "metrics on http://..." when asked
// for, then "listening on https://..." once the ports are open. Gives the
// process exit code.
int serve(const ServeOptions& options, std::ostream& out, std::ostream& err);

// The folder layout of the data directory.
std::filesystem::path databasePath(const std::filesystem::path& data);
std::filesystem::path shotsFolder(const std::filesystem::path& data);

}  // namespace site
