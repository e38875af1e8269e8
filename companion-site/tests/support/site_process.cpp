#include "support/site_process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <stdexcept>

#include "support/site_harness.h"

namespace site_test {
namespace {

constexpr char kListening[] = "listening on https://localhost:";

std::vector<char*> argumentPointers(std::vector<std::string>& arguments) {
    std::vector<char*> pointers;
    for (auto& argument : arguments) pointers.push_back(argument.data());
    pointers.push_back(nullptr);
    return pointers;
}

// Starts `arguments` with its standard output on a pipe and its error output
// in `errorFile` (or inherited when empty); `input` goes to its input.
pid_t startProgram(std::vector<std::string> arguments, const std::string& input, const std::string& errorFile,
                   int& outputRead) {
    // Everything the child needs is made before the fork: it may only make
    // plain system calls until exec.
    auto pointers = argumentPointers(arguments);
    int output[2], feed[2];
    if (::pipe2(output, O_CLOEXEC) != 0 || ::pipe2(feed, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    const pid_t pid = ::fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        ::dup2(feed[0], STDIN_FILENO);
        ::dup2(output[1], STDOUT_FILENO);
        if (!errorFile.empty()) {
            const int error = ::open(errorFile.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
            ::dup2(error, STDERR_FILENO);
        }
        ::execv(pointers[0], pointers.data());
        ::_exit(127);
    }
    ::close(output[1]);
    ::close(feed[0]);
    if (!input.empty()) {
        const ssize_t written = ::write(feed[1], input.data(), input.size());
        static_cast<void>(written);
    }
    ::close(feed[1]);
    outputRead = output[0];
    return pid;
}

std::string readAll(int fd) {
    std::string text;
    char buffer[4096];
    ssize_t got;
    while ((got = ::read(fd, buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<std::size_t>(got));
    return text;
}

int exitStatus(pid_t pid) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace

const std::filesystem::path& testCertificates() {
    static const ScratchFolder folder;
    static const std::filesystem::path certificates = [] {
        const auto path = folder.path() / "certificates";
        int output = -1;
        const pid_t pid = startProgram({"/bin/sh", CLIPVANE_DEV_CERTS_SCRIPT, path.string()}, "", "", output);
        readAll(output);
        ::close(output);
        if (exitStatus(pid) != 0) throw std::runtime_error("dev-certs failed");
        return path;
    }();
    return certificates;
}

ProgramResult runSite(const std::vector<std::string>& arguments, const std::string& input) {
    std::vector<std::string> command{CLIPVANE_SITE_PROGRAM};
    command.insert(command.end(), arguments.begin(), arguments.end());
    int output = -1;
    const pid_t pid = startProgram(command, input, "", output);
    ProgramResult result;
    result.output = readAll(output);
    ::close(output);
    result.exitCode = exitStatus(pid);
    return result;
}

void addSiteUser(const std::filesystem::path& data, const std::string& name, const std::string& password, bool pro) {
    std::vector<std::string> arguments{"user", "add", name, "--password-file", "-", "--data", data.string()};
    if (pro) arguments.push_back("--pro");
    if (runSite(arguments, password + "\n").exitCode != 0) throw std::runtime_error("user add failed");
}

std::string issueSiteCode(const std::filesystem::path& data, const std::string& name) {
    const ProgramResult result = runSite({"code", name, "--data", data.string()});
    if (result.exitCode != 0) throw std::runtime_error("code failed");
    return result.output.substr(0, result.output.find('\n'));
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

std::unique_ptr<httplib::SSLClient> SiteProcess::client() const {
    auto client = std::make_unique<httplib::SSLClient>("localhost", port_);
    client->set_ca_cert_path((testCertificates() / "ca.pem").c_str());
    client->enable_server_certificate_verification(true);
    client->set_read_timeout(60);
    client->set_write_timeout(60);
    return client;
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
