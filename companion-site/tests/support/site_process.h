#pragma once
// The real clipvane-site program for tests: its subcommands, and the server
// started on a free loopback port with certificates from a test authority.

#include <httplib.h>
#include <signal.h>

#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <regex>
#include <stdexcept>
#include <string>
#include <vector>

#include "security/link_code.h"
#include "support/child_process.h"
#include "support/site_harness.h"
#include "support/test_store.h"

namespace site_test {

// Runs clipvane-site with `arguments`, feeding `input` on standard input.
inline ProgramResult runSite(std::vector<std::string> arguments, const std::string& input = "") {
    arguments.insert(arguments.begin(), CLIPVANE_SITE_PROGRAM);
    return runProgram(arguments, input);
}

inline httplib::Headers bearer(const std::string& token) { return {{"Authorization", "Bearer " + token}}; }
// Posts a PNG as the program does.
inline httplib::Result uploadShot(httplib::SSLClient& client, const std::string& token, const std::string& png) {
    return client.Post("/api/shots", bearer(token), png, "image/png");
}
// The path of the link an upload was given ("/s/..."), or "(none)".
inline std::string linkPath(const httplib::Result& answer) {
    if (!answer || answer->status != 200) return "(none)";
    const std::string url = nlohmann::json::parse(answer->body)["url"];
    return url.substr(url.find("/s/"));
}

// The test authority's folder: ca.pem, and server.pem with server.key for
// localhost, made once per program.
inline const std::filesystem::path& testCertificates() {
    static const ScratchFolder folder;
    static const std::filesystem::path certificates = [] {
        const auto path = folder.path() / "certificates";
        if (runProgram({"/bin/sh", CLIPVANE_DEV_CERTS_SCRIPT, path.string()}).exitCode != 0)
            throw std::runtime_error("dev-certs failed");
        return path;
    }();
    return certificates;
}

// A client of a server on loopback `port` that trusts the test authority alone.
inline std::unique_ptr<httplib::SSLClient> testClient(int port, int readTimeout = 60) {
    auto client = std::make_unique<httplib::SSLClient>("localhost", port);
    client->set_ca_cert_path((testCertificates() / "ca.pem").c_str());
    client->enable_server_certificate_verification(true);
    client->set_read_timeout(readTimeout);
    client->set_write_timeout(60);
    return client;
}

class SiteProcess {
public:
    // Starts `serve` and returns once it listens.
    explicit SiteProcess(const std::filesystem::path& data, const std::vector<std::string>& extra = {})
        : logFile_(data.parent_path() / (data.filename().string() + "-server.log")) {
        // A write to a server that was just killed must fail, not end the test.
        ::signal(SIGPIPE, SIG_IGN);
        const auto& certificates = testCertificates();
        std::vector<std::string> command{CLIPVANE_SITE_PROGRAM, "serve", "--listen", "127.0.0.1:0", "--data",
                                         data.string(), "--cert", (certificates / "server.pem").string(), "--key",
                                         (certificates / "server.key").string()};
        command.insert(command.end(), extra.begin(), extra.end());
        pid_ = startProgram(command, "", logFile_.string(), outputPipe_);
        // The line is printed once the port is open; end of output means it failed.
        static constexpr char kListening[] = "listening on https://localhost:";
        for (char c; ::read(outputPipe_, &c, 1) == 1;) {
            output_.push_back(c);
            if (const auto at = output_.find(kListening); c == '\n' && at != std::string::npos) {
                port_ = std::stoi(output_.substr(at + sizeof kListening - 1));
                return;
            }
        }
        signalAndWait(0);
        throw std::runtime_error("the server did not start: " + log());
    }
    SiteProcess(const SiteProcess&) = delete;
    ~SiteProcess() {
        if (pid_ > 0) kill();
        if (outputPipe_ >= 0) ::close(outputPipe_);
    }

    int port() const { return port_; }
    pid_t pid() const { return pid_; }
    std::string url() const { return "https://localhost:" + std::to_string(port_); }
    std::unique_ptr<httplib::SSLClient> client(int readTimeout = 60) const { return testClient(port_, readTimeout); }
    // The metrics page's port, when started with --metrics-listen; else 0.
    int metricsPort() const {
        std::smatch match;
        return std::regex_search(output_, match, std::regex("metrics on http://[^:]+:([0-9]+)/metrics"))
                   ? std::stoi(match[1]) : 0;
    }

    // SIGTERM; gives the exit status after the program has ended.
    int stop() { return signalAndWait(SIGTERM); }
    void kill() { signalAndWait(SIGKILL); }
    std::string log() const {
        std::ifstream in(logFile_);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }

private:
    pid_t pid_ = -1;
    int port_ = 0;
    int outputPipe_ = -1;
    std::filesystem::path logFile_;
    std::string output_;

    // Sends `signal` (0: none, the program has ended) and waits for the end.
    int signalAndWait(int signal) {
        ::kill(pid_, signal);
        const int status = exitStatus(pid_);
        pid_ = -1;
        output_ += readAll(outputPipe_);
        return status;
    }
};

// A device of `user` linked through `server` with a new code, as `code`
// prints it: its token, or throws.
inline std::string linkDevice(const SiteProcess& server, const TestStore& store, const std::string& user) {
    const auto opened = store.open();
    const auto code = site::formatLinkCode(site::issueLinkCode(*opened, opened->userByName(user)->id, std::time(nullptr)));
    const auto answer = server.client()->Post("/api/link/redeem", nlohmann::json{{"code", code}}.dump(), "application/json");
    if (!answer || answer->status != 200) throw std::runtime_error("redeem failed");
    return nlohmann::json::parse(answer->body)["token"];
}

}  // namespace site_test
