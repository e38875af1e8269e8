#include "support/site_process.h"

#include <signal.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include <fstream>
#include <iterator>
#include <regex>
#include <stdexcept>

#include "support/site_harness.h"

namespace site_test {
namespace {

constexpr char kListening[] = "listening on https://localhost:";

}  // namespace

const std::filesystem::path& testCertificates() {
    static const ScratchFolder folder;
    static const std::filesystem::path certificates = [] {
        const auto path = folder.path() / "certificates";
        if (runProgram({"/bin/sh", CLIPVANE_DEV_CERTS_SCRIPT, path.string()}).exitCode != 0)
            throw std::runtime_error("dev-certs failed");
        return path;
    }();
    return certificates;
}

std::unique_ptr<httplib::SSLClient> testClient(int port) {
    auto client = std::make_unique<httplib::SSLClient>("localhost", port);
    client->set_ca_cert_path((testCertificates() / "ca.pem").c_str());
    client->enable_server_certificate_verification(true);
    client->set_read_timeout(60);
    client->set_write_timeout(60);
    return client;
}

ProgramResult runSite(const std::vector<std::string>& arguments, const std::string& input) {
    std::vector<std::string> command{CLIPVANE_SITE_PROGRAM};
    command.insert(command.end(), arguments.begin(), arguments.end());
    return runProgram(command, input);
}

std::string linkPath(const httplib::Result& answer) {
    if (!answer || answer->status != 200) return "(none)";
    const std::string url = nlohmann::json::parse(answer->body)["url"];
    return url.substr(url.find("/s/"));
}

std::string linkDevice(const SiteProcess& server, const TestStore& store, const std::string& user) {
    const auto answer = server.client()->Post(
        "/api/link/redeem", nlohmann::json{{"code", store.linkCode(user)}}.dump(), "application/json");
    if (!answer || answer->status != 200) throw std::runtime_error("redeem failed");
    return nlohmann::json::parse(answer->body)["token"];
}

SiteProcess::SiteProcess(const std::filesystem::path& data, const std::vector<std::string>& extra)
    : logFile_(data.parent_path() / (data.filename().string() + "-server.log")) {
    // A write to a server that was just killed must fail, not end the test.
    ::signal(SIGPIPE, SIG_IGN);
    const auto& certificates = testCertificates();
    std::vector<std::string> command{CLIPVANE_SITE_PROGRAM, "serve", "--listen", "127.0.0.1:0", "--data", data.string(),
                                     "--cert", (certificates / "server.pem").string(), "--key",
                                     (certificates / "server.key").string()};
    command.insert(command.end(), extra.begin(), extra.end());
    pid_ = startProgram(command, "", logFile_.string(), outputPipe_);
    // The line is printed once the port is open; end of output means it failed.
    char c;
    while (::read(outputPipe_, &c, 1) == 1) {
        output_.push_back(c);
        if (c != '\n') continue;
        const auto at = output_.find(kListening);
        if (at != std::string::npos) {
            port_ = std::stoi(output_.substr(at + sizeof kListening - 1));
            return;
        }
    }
    waitForExit();
    throw std::runtime_error("the server did not start: " + log());
}

SiteProcess::~SiteProcess() {
    if (pid_ > 0) kill();
    if (outputPipe_ >= 0) ::close(outputPipe_);
}

int SiteProcess::metricsPort() const {
    std::smatch match;
    if (!std::regex_search(output_, match, std::regex("metrics on http://[^:]+:([0-9]+)/metrics"))) return 0;
    return std::stoi(match[1]);
}

int SiteProcess::waitForExit() {
    const int status = exitStatus(pid_);
    pid_ = -1;
    output_ += readAll(outputPipe_);
    return status;
}

int SiteProcess::stop() {
    ::kill(pid_, SIGTERM);
    return waitForExit();
}

void SiteProcess::kill() {
    ::kill(pid_, SIGKILL);
    waitForExit();
}

std::string SiteProcess::log() const {
    std::ifstream in(logFile_);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

}  // namespace site_test
