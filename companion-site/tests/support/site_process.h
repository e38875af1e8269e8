#pragma once
// The real clipvane-site program for tests: its subcommands, and the server
// started on a free loopback port with certificates from a test authority.

#include <httplib.h>
#include <sys/types.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace site_test {

// A certificate authority and a localhost certificate, made once per test
// program: ca.pem, server.pem, server.key.
const std::filesystem::path& testCertificates();

struct ProgramResult {
    int exitCode = -1;
    std::string output;
};

// Runs clipvane-site with `arguments`, feeding `input` on standard input.
ProgramResult runSite(const std::vector<std::string>& arguments, const std::string& input = "");

// Adds a user with the given password through the command line.
void addSiteUser(const std::filesystem::path& data, const std::string& name, const std::string& password,
                 bool pro = false);
std::string issueSiteCode(const std::filesystem::path& data, const std::string& name);

class SiteProcess {
public:
    // Starts `serve` and returns once it listens.
    explicit SiteProcess(const std::filesystem::path& data, const std::vector<std::string>& extra = {});
    SiteProcess(const SiteProcess&) = delete;
    ~SiteProcess();

    int port() const { return port_; }
    pid_t pid() const { return pid_; }
    std::string url() const { return "https://localhost:" + std::to_string(port_); }
    std::unique_ptr<httplib::SSLClient> client() const;

    // SIGTERM; gives the exit status after the program has ended.
    int stop();
    void kill();
    std::string log() const;
    std::string output() const { return output_; }

private:
    pid_t pid_ = -1;
    int port_ = 0;
    int outputPipe_ = -1;
    std::filesystem::path logFile_;
    std::string output_;

    int waitForExit();
};

}  // namespace site_test
