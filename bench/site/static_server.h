#pragma once
// Debian's nginx serving one file over TLS, with the test certificate: the
// floor for the site's answers. Started in a folder of its own with its own
// configuration, on a free loopback port, as whoever runs the benchmark.

#include <sys/types.h>

#include <filesystem>
#include <string>

namespace site_bench {

class StaticServer {
public:
    // Serves `body` as `path` ("/me.json"). Check running(): without nginx
    // installed, or when it does not start, nothing runs and why() says so.
    StaticServer(const std::filesystem::path& folder, const std::string& path, const std::string& body);
    StaticServer(const StaticServer&) = delete;
    ~StaticServer();

    bool running() const { return pid_ > 0; }
    const std::string& why() const { return why_; }
    int port() const { return port_; }

private:
    pid_t pid_ = -1;
    int port_ = 0;
    std::string why_;

    void stop();
};

}  // namespace site_bench
