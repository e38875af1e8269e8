#include "static_server.h"

#include <arpa/inet.h>
#include <grp.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <thread>

#include "support/child_process.h"
#include "support/site_process.h"

namespace site_bench {
namespace {

namespace fs = std::filesystem;

constexpr char kNginx[] = "/usr/sbin/nginx";

sockaddr_in loopback(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

// A loopback port nothing listens on now.
int freePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = loopback(0);
    socklen_t size = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), size);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
    ::close(fd);
    return ntohs(address.sin_port);
}

bool accepts(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    const sockaddr_in address = loopback(port);
    const bool connected = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return connected;
}

// nginx keeps its workers as the user who starts it only when told to;
// without root the line would be ignored with a warning, so it is left out.
std::string userLine() {
    if (::geteuid() != 0) return "";
    const passwd* user = ::getpwuid(::geteuid());
    const group* group = ::getgrgid(::getegid());
    return user && group ? std::string("user ") + user->pw_name + " " + group->gr_name + ";\n" : "";
}

// Every path nginx would write to by default lies under /var, so each is
// set to the folder. Keep-alive connections are never ended after a count,
// as the site never ends them.
std::string configuration(const fs::path& folder, int port) {
    const std::string at = folder.string();
    const fs::path& certificates = site_test::testCertificates();
    std::string temporary;
    for (const char* kind : {"client_body", "proxy", "fastcgi", "uwsgi", "scgi"})
        temporary += std::string("    ") + kind + "_temp_path " + at + "/temporary/" + kind + ";\n";
    return "daemon off;\nworker_processes auto;\npid " + at + "/nginx.pid;\nerror_log stderr warn;\n" + userLine() +
           "events { worker_connections 1024; }\n"
           "http {\n    access_log " + at + "/access.log;\n" + temporary +
           "    keepalive_requests 1000000000;\n"
           "    server {\n"
           "        listen 127.0.0.1:" + std::to_string(port) + " ssl;\n"
           "        ssl_certificate " + (certificates / "server.pem").string() + ";\n"
           "        ssl_certificate_key " + (certificates / "server.key").string() + ";\n"
           "        root " + at + "/www;\n"
           "        default_type application/json;\n"
           "    }\n}\n";
}

std::string readFile(const fs::path& path) {
    std::ifstream in(path);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

}  // namespace

StaticServer::StaticServer(const fs::path& folder, const std::string& path, const std::string& body) {
    if (::access(kNginx, X_OK) != 0) {
        why_ = std::string(kNginx) + " is missing (Debian's nginx-light installs it)";
        return;
    }
    fs::create_directories(folder / "www");
    fs::create_directories(folder / "temporary");
    std::ofstream(folder / "www" / path.substr(1), std::ios::binary) << body;
    port_ = freePort();
    std::ofstream(folder / "nginx.conf") << configuration(folder, port_);
    const fs::path log = folder / "nginx.log";
    int output = -1;
    pid_ = site_test::startProgram({kNginx, "-p", folder.string(), "-c", (folder / "nginx.conf").string(), "-e", "stderr"},
                                   "", log.string(), output);
    ::close(output);
    for (int waited = 0; waited < 100; ++waited) {
        if (accepts(port_)) return;
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            why_ = "nginx did not start: " + readFile(log);
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    stop();
    why_ = "nginx did not open its port within 5 s: " + readFile(log);
}

void StaticServer::stop() {
    ::kill(pid_, SIGTERM);
    site_test::exitStatus(pid_);
    pid_ = -1;
}

StaticServer::~StaticServer() {
    if (pid_ > 0) stop();
}

}  // namespace site_bench
