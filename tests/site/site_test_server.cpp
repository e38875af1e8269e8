// A small HTTPS server on loopback for the transport tests under Wine. The
// path selects the answer; it also serves a second port whose certificate
// no trusted authority signed, and names a port where nothing listens.
//
//   site_test_server <folder>
// The folder holds cert.pem/key.pem (trusted) and rogue-cert.pem/rogue-key.pem;
// the server writes "<trusted port> <rogue port> <closed port>" to ports
// once it listens, and stops on SIGTERM or after 15 minutes by itself.

#include <httplib.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <fstream>
#include <iostream>
#include <mutex>
#include <string>
#include <thread>

#include <nlohmann/json.hpp>

namespace {

std::atomic<bool> stopRequested{false};
std::mutex silentMutex;
std::condition_variable silentWake;

void onSignal(int) {
    stopRequested = true;
}

std::string headerOrNone(const httplib::Request& request, const char* name) {
    return request.has_header(name) ? request.get_header_value(name) : std::string("(none)");
}

void echo(const httplib::Request& request, httplib::Response& response) {
    nlohmann::json answer = {
        {"method", request.method},
        {"path", request.path},
        {"contentType", headerOrNone(request, "Content-Type")},
        {"authorization", headerOrNone(request, "Authorization")},
        {"userAgent", headerOrNone(request, "User-Agent")},
        {"bodySize", request.body.size()},
        {"bodyHead", std::vector<unsigned char>(request.body.begin(),
                                                request.body.begin() + std::min<size_t>(request.body.size(), 64))},
    };
    response.set_content(answer.dump(), "application/json");
}

// A JSON string of exactly the asked size, so the size cap is tested exactly.
void sized(const httplib::Request& request, httplib::Response& response) {
    size_t size = std::stoul(request.matches[1].str());
    std::string body = size >= 2 ? "\"" + std::string(size - 2, 'a') + "\"" : std::string(size, ' ');
    response.set_content(body, "application/json");
}

// Accepts the request and keeps the answer back until the server stops.
void silent(const httplib::Request&, httplib::Response& response) {
    std::unique_lock<std::mutex> lock(silentMutex);
    silentWake.wait_for(lock, std::chrono::seconds(60), [] { return stopRequested.load(); });
    response.set_content("{}", "application/json");
}

void addRoutes(httplib::Server& server) {
    server.Get("/echo", echo);
    server.Post("/echo", echo);
    // The site's own paths answer with the echo, so callers see what they sent.
    server.Get("/api/notifications", echo);
    server.Get("/api/me", echo);
    server.Post("/api/link/redeem", echo);
    server.Post("/api/shots", echo);
    server.Get(R"(/size/(\d+))", sized);
    server.Get("/silent", silent);
    server.Get("/missing", [](const httplib::Request&, httplib::Response& response) {
        response.status = 404;
        response.set_content(R"({"error":"Такой страницы нет"})", "application/json");
    });
    server.Get("/moved", [](const httplib::Request&, httplib::Response& response) {
        response.status = 302;
        response.set_header("Location", "/echo");
    });
}

int closedPort() {
    int probe = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address);
    getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length);
    close(probe);
    return ntohs(address.sin_port);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: site_test_server <folder>\n";
        return 2;
    }
    std::string folder = argv[1];
    httplib::SSLServer trusted((folder + "/cert.pem").c_str(), (folder + "/key.pem").c_str());
    httplib::SSLServer rogue((folder + "/rogue-cert.pem").c_str(), (folder + "/rogue-key.pem").c_str());
    if (!trusted.is_valid() || !rogue.is_valid()) {
        std::cerr << "site_test_server: cannot load the certificates in " << folder << "\n";
        return 1;
    }
    addRoutes(trusted);
    addRoutes(rogue);
    int trustedPort = trusted.bind_to_any_port("127.0.0.1");
    int roguePort = rogue.bind_to_any_port("127.0.0.1");
    // Bound sockets already listen: connections wait until the loops accept.
    std::thread trustedThread([&] { trusted.listen_after_bind(); });
    std::thread rogueThread([&] { rogue.listen_after_bind(); });

    std::signal(SIGTERM, onSignal);
    std::signal(SIGINT, onSignal);
    {
        std::ofstream ports(folder + "/ports.tmp");
        ports << trustedPort << ' ' << roguePort << ' ' << closedPort() << '\n';
    }
    std::rename((folder + "/ports.tmp").c_str(), (folder + "/ports").c_str());

    auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(15);
    while (!stopRequested && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    stopRequested = true;
    silentWake.notify_all();
    trusted.stop();
    rogue.stop();
    trustedThread.join();
    rogueThread.join();
    std::remove((folder + "/ports").c_str());
    return 0;
}
