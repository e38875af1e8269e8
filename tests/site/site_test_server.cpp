// A loopback HTTPS server for what the companion site never does: a redirect
// and an answer that never comes. site_test_server <cert> <key> <port file>
// writes its port to the file once it listens; SIGTERM ends it, and so does
// an alarm after 15 minutes, should the fixture never stop it.

#include <httplib.h>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>

int main(int argc, char** argv) {
    if (argc != 4) return 2;
    httplib::SSLServer server(argv[1], argv[2]);
    if (!server.is_valid()) return 1;
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
    int port = server.bind_to_any_port("127.0.0.1");
    std::string file = argv[3];
    std::ofstream(file + ".tmp") << port << '\n';
    std::rename((file + ".tmp").c_str(), file.c_str());  // a bound socket already takes connections
    alarm(15 * 60);
    server.listen_after_bind();
}
