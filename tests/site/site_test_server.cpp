// A small HTTPS server on loopback for what the companion site never does:
// a redirect, a certificate that no trusted authority signed, an answer
// that never comes. Both ports serve the same paths.
//
//   site_test_server <cert> <key> <untrusted cert> <untrusted key> <ports file>
// Once it listens it writes "<trusted port> <untrusted port>" to the ports
// file. SIGTERM ends it, and so does an alarm after 15 minutes, should the
// fixture never stop it.

#include <httplib.h>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>

namespace {

void addRoutes(httplib::Server& server) {
    server.Get("/ok", [](const httplib::Request&, httplib::Response& response) {
        response.set_content("{}", "application/json");
    });
    server.Get("/moved", [](const httplib::Request&, httplib::Response& response) {
        response.set_redirect("/ok");
    });
    // Longer than any time-out of the program.
    server.Get("/silent", [](const httplib::Request&, httplib::Response&) {
        std::this_thread::sleep_for(std::chrono::seconds(60));
    });
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 6) return 2;
    httplib::SSLServer trusted(argv[1], argv[2]);
    httplib::SSLServer untrusted(argv[3], argv[4]);
    if (!trusted.is_valid() || !untrusted.is_valid()) return 1;
    addRoutes(trusted);
    addRoutes(untrusted);
    int trustedPort = trusted.bind_to_any_port("127.0.0.1");
    int untrustedPort = untrusted.bind_to_any_port("127.0.0.1");
    std::string ports = argv[5];
    std::ofstream(ports + ".tmp") << trustedPort << ' ' << untrustedPort << '\n';
    std::rename((ports + ".tmp").c_str(), ports.c_str());  // bound sockets already take connections
    alarm(15 * 60);
    std::thread untrustedThread([&] { untrusted.listen_after_bind(); });
    trusted.listen_after_bind();
    untrustedThread.join();
}
