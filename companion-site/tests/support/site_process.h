#pragma once
// The real clipvane-site program for tests: its subcommands, and the server
// started on a free loopback port with certificates from a test authority.

#include <httplib.h>
#include <sys/types.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "support/child_process.h"
#include "support/test_store.h"

namespace site_test {

// Runs clipvane-site with `arguments`, feeding `input` on standard input.
ProgramResult runSite(const std::vector<std::string>& arguments, const std::string& input = "");

inline httplib::Headers bearer(const std::string& token) { return {{"Authorization", "Bearer " + token}}; }
// Posts a PNG as the program does; the path of the link it was given
// ("/s/..."), or "(none)".
inline httplib::Result uploadShot(httplib::SSLClient& client, const std::string& token, const std::string& png) {
    return client.Post("/api/shots", bearer(token), png, "image/png");
}
std::string linkPath(const httplib::Result& answer);
class SiteProcess;
// A device of `user` linked through `server`: its token, or throws.
std::string linkDevice(const SiteProcess& server, const TestStore& store, const std::string& user);

// The test authority's folder: ca.pem, and server.pem with server.key for
// localhost, made once per program.
const std::filesystem::path& testCertificates();
// A client of a server on loopback `port` that trusts the test authority
// alone.
std::unique_ptr<httplib::SSLClient> testClient(int port);

class SiteProcess {
public:
    // Starts `serve` and returns once it listens.
    explicit SiteProcess(const std::filesystem::path& data, const std::vector<std::string>& extra = {});
    SiteProcess(const SiteProcess&) = delete;
    ~SiteProcess();

    int port() const { return port_; }
    pid_t pid() const { return pid_; }
    std::string url() const { return "https://localhost:" + std::to_string(port_); }
    std::unique_ptr<httplib::SSLClient> client() const { return testClient(port_); }
    // The metrics page's port, when started with --metrics-listen; else 0.
    int metricsPort() const;

    // SIGTERM; gives the exit status after the program has ended.
    int stop();
    void kill();
    std::string log() const;

private:
    pid_t pid_ = -1;
    int port_ = 0;
    int outputPipe_ = -1;
    std::filesystem::path logFile_;
    std::string output_;

    int waitForExit();
};

}  // namespace site_test
