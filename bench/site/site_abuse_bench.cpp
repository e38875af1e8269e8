// The site under hostile traffic on loopback: slow connections held by the
// thousand, floods of headers and bodies, endless bodies, guessing, and
// what a legitimate /api/me probe sees meanwhile, with the server's CPU
// time; the server's resident memory while each burst runs and after it.
// The floor beside the probe figures is the same probe with nothing else
// going on, in the same run.
//
//   site_abuse_bench [connections per kind, default 1000]

#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <mutex>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/raw_tls.h"
#include "support/site_harness.h"
#include "support/site_process.h"

namespace {

using Clock = std::chrono::steady_clock;
using site_test::RawTls;
using site_test::SiteProcess;

constexpr std::size_t kShotBytes = 12582912;
constexpr int kBurst = 64;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

void raiseFileLimit() {
    rlimit limit{};
    ::getrlimit(RLIMIT_NOFILE, &limit);
    limit.rlim_cur = limit.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &limit);
}

// The loopback address 127.<block>.<host / 200>.<host % 200 + 1>: each
// kind of attack comes from addresses of its own.
std::string attackAddress(int block, int host) {
    return "127." + std::to_string(block) + "." + std::to_string(host / 200) + "." + std::to_string(host % 200 + 1);
}

long residentKiB(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with("VmRSS:")) return std::stol(line.substr(6));
    }
    return 0;
}

// The server's CPU time so far. What an attack costs the server shows in it
// more steadily than in the probe's slowest answers, which land on the
// moments when the connections the server closed all come back at once.
double cpuSeconds(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    const std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    std::istringstream fields(text.substr(text.rfind(')') + 1));
    std::string skipped;
    for (int field = 3; field <= 13; ++field) fields >> skipped;  // the state to the children's faults
    long user = 0, system = 0;
    fields >> user >> system;
    return static_cast<double>(user + system) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

// The highest resident size while it lives.
class PeakMemory {
public:
    explicit PeakMemory(pid_t pid) : thread_([this, pid] {
        while (!stop_) {
            peak_ = std::max(peak_.load(), residentKiB(pid));
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }) {}
    long finish() {
        stop_ = true;
        thread_.join();
        return peak_;
    }

private:
    std::atomic<bool> stop_{false};
    std::atomic<long> peak_{0};
    std::thread thread_;
};

struct Site {
    SiteProcess& server;
    std::string token;
    std::string bearer() const { return "Authorization: Bearer " + token + "\r\n"; }
};

std::string request(const std::string& line, const std::string& headers = "", const std::string& body = "") {
    return line + " HTTP/1.1\r\nHost: localhost\r\n" + headers +
           (body.empty() ? "" : "Content-Type: image/png\r\nContent-Length: " + std::to_string(body.size()) + "\r\n") +
           "\r\n" + body;
}

// One request on a new connection from `source`; the answer's status and
// body, status 0 when there was none.
site_test::RawAnswer exchange(const Site& site, const std::string& source, const std::string& bytes, int timeout = 60) {
    try {
        RawTls connection(site.server.port(), source, timeout);
        connection.send(bytes);
        return connection.answer();
    } catch (const std::exception&) {
        return {};
    }
}

// Clients of a burst come from addresses of their own, as real ones do.
std::string burstAddress(int i) {
    return attackAddress(40, i);
}

// A new visitor's GET /api/me, connection and handshake included; -1 when
// it got no answer within 5 s.
double probeOnce(const Site& site) {
    const auto start = Clock::now();
    const auto answer = exchange(site, "127.0.0.1", request("GET /api/me", site.bearer()), 5);
    return answer.status == 200 ? secondsSince(start) * 1000 : -1;
}

// Probes every 100 ms while it lives.
class Prober {
public:
    explicit Prober(const Site& site) : thread_([this, &site] {
        while (!stop_) {
            const double ms = probeOnce(site);
            std::lock_guard lock(mutex_);
            results_.push_back(ms);
            if (ms >= 0) std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    }) {}
    std::string finish() {
        stop_ = true;
        thread_.join();
        std::vector<double> answered;
        for (double ms : results_) answered.push_back(ms < 0 ? 1e9 : ms);
        std::sort(answered.begin(), answered.end());
        const auto shown = [](double ms) { return ms >= 1e9 ? std::string("none") : std::to_string(ms).substr(0, 7); };
        const long failed = std::count(results_.begin(), results_.end(), -1.0);
        char text[160];
        std::snprintf(text, sizeof text, "p50 %9s ms  p99 %9s ms  unanswered %ld of %zu", shown(answered[answered.size() / 2]).c_str(),
                      shown(answered[answered.size() * 99 / 100]).c_str(), failed, results_.size());
        return text;
    }

private:
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::vector<double> results_;
    std::thread thread_;
};

enum class Slow { Silent, StalledHandshake, TrickledHeaders };

// Keeps `count` slow connections of one kind open, opening a new one for
// every one the server closes.
class SlowHolder {
public:
    SlowHolder(int port, Slow kind, int count, int block, int perAddress = 10)
        : port_(port), kind_(kind), slots_(static_cast<std::size_t>(count)), block_(block), perAddress_(perAddress),
          thread_([this] { run(); }) {}
    ~SlowHolder() {
        stop_ = true;
        thread_.join();
        for (auto& slot : slots_) {
            if (slot.fd >= 0 && !slot.tls) ::close(slot.fd);
        }
    }
    int held() const { return held_; }
    int opened() const { return opened_; }
    bool firstRoundDone() const { return firstRound_; }

private:
    struct Slot {
        int fd = -1;
        std::unique_ptr<RawTls> tls;
        std::size_t sent = 0;
    };

    const int port_;
    const Slow kind_;
    std::vector<Slot> slots_;
    const int block_;
    const int perAddress_;
    std::atomic<bool> stop_{false};
    std::atomic<int> held_{0}, opened_{0};
    std::atomic<bool> firstRound_{false};
    std::thread thread_;

    void open(Slot& slot, int n) {
        const std::string source = attackAddress(block_, n / perAddress_);
        if (kind_ == Slow::TrickledHeaders) {
            try {
                slot.tls = std::make_unique<RawTls>(port_, source, 2);
                slot.fd = slot.tls->fd();
            } catch (const std::exception&) {
                return;
            }
        } else {
            slot.fd = site_test::connectTcp(port_, source, 2);
            // The first bytes of a ClientHello record, and nothing more.
            if (slot.fd >= 0 && kind_ == Slow::StalledHandshake) ::send(slot.fd, "\x16\x03\x01\x02\x00\x01", 6, MSG_NOSIGNAL);
        }
        slot.sent = 0;
        if (slot.fd >= 0) ++opened_;
    }

    void closeSlot(Slot& slot) {
        if (!slot.tls) ::close(slot.fd);
        slot.tls.reset();
        slot.fd = -1;
    }

    // Ended once the server has shut its side: readable data alone may be a
    // TLS session ticket.
    bool endedByServer(const Slot& slot) {
        pollfd watch{slot.fd, POLLRDHUP, 0};
        return ::poll(&watch, 1, 0) > 0;
    }

    void run() {
        static const std::string request = "GET /api/me HTTP/1.1\r\nHost: localhost\r\nX-Slow: ";
        while (!stop_) {
            const auto roundStart = Clock::now();
            int held = 0;
            for (std::size_t n = 0; n < slots_.size() && !stop_; ++n) {
                Slot& slot = slots_[n];
                if (slot.fd >= 0 && endedByServer(slot)) closeSlot(slot);
                // Held: open since the last round and not ended by the server.
                if (slot.fd >= 0) ++held;
                if (slot.fd < 0) open(slot, static_cast<int>(n));
                if (slot.fd >= 0 && slot.tls) {
                    const char next = slot.sent < request.size() ? request[slot.sent] : 'a';
                    if (!slot.tls->send(std::string_view(&next, 1))) closeSlot(slot);
                    ++slot.sent;
                }
            }
            held_ = held;
            firstRound_ = true;
            const auto rest = std::chrono::seconds(1) - (Clock::now() - roundStart);
            if (rest > Clock::duration::zero()) std::this_thread::sleep_for(rest);
        }
    }
};

void holdAndProbe(const Site& site, const char* what, const std::vector<Slow>& kinds, int count, int seconds,
                  int perAddress = 10) {
    std::vector<std::unique_ptr<SlowHolder>> holders;
    for (Slow kind : kinds)
        holders.push_back(
            std::make_unique<SlowHolder>(site.server.port(), kind, count, 10 + static_cast<int>(kind), perAddress));
    const auto start = Clock::now();
    while (secondsSince(start) < 20 &&
           !std::all_of(holders.begin(), holders.end(), [](const auto& h) { return h->firstRoundDone(); }))
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const double cpuBefore = cpuSeconds(site.server.pid());
    Prober prober(site);
    PeakMemory peak(site.server.pid());
    long heldSeconds = 0;
    for (int second = 0; second < seconds; ++second) {
        std::this_thread::sleep_for(std::chrono::seconds(1));
        for (const auto& holder : holders) heldSeconds += holder->held();
    }
    const std::string probes = prober.finish();
    int opened = 0;
    for (const auto& holder : holders) opened += holder->opened();
    std::printf("%-34s %s  (%ld held on average, %d opened, peak %ld MiB, server CPU %.2f s)\n", what, probes.c_str(),
                heldSeconds / seconds, opened, peak.finish() / 1024, cpuSeconds(site.server.pid()) - cpuBefore);
}

// Runs `work(i)` on `count` threads at once while the peak is taken;
// prints the peak, then the resident size three seconds after.
void burst(const Site& site, const char* what, int count, const std::function<std::string(int)>& work) {
    const long before = residentKiB(site.server.pid());
    PeakMemory peak(site.server.pid());
    std::vector<std::string> outcomes(static_cast<std::size_t>(count));
    std::vector<std::thread> threads;
    const auto start = Clock::now();
    for (int i = 0; i < count; ++i) threads.emplace_back([&, i] { outcomes[static_cast<std::size_t>(i)] = work(i); });
    for (auto& thread : threads) thread.join();
    const double seconds = secondsSince(start);
    const long during = peak.finish();
    std::this_thread::sleep_for(std::chrono::seconds(3));
    std::map<std::string, int> tally;
    for (const auto& outcome : outcomes) ++tally[outcome];
    std::string answers;
    for (const auto& [outcome, n] : tally) answers += " " + std::to_string(n) + "×" + outcome;
    std::printf("%-34s before %5ld MiB  peak %5ld MiB  after %5ld MiB  %.1f s ;%s\n", what, before / 1024, during / 1024,
                residentKiB(site.server.pid()) / 1024, seconds, answers.c_str());
}

// Sends `head`, then `piece` over and over for `seconds` or until the
// server stops taking it; prints what the server took and answered.
void endlessBody(const Site& site, const char* what, const std::string& head, const std::string& piece, int seconds) {
    RawTls connection(site.server.port());
    connection.send(head);
    const auto start = Clock::now();
    std::size_t sent = 0;
    const timeval stalled{2, 0};
    ::setsockopt(connection.fd(), SOL_SOCKET, SO_SNDTIMEO, &stalled, sizeof stalled);
    while (secondsSince(start) < seconds && connection.send(piece)) sent += piece.size();
    const double took = secondsSince(start);
    const auto answer = connection.answer();
    std::printf("%-34s sent %8.1f MiB in %.1f s, answer %d\n", what, static_cast<double>(sent) / (1 << 20), took,
                answer.status);
}

std::string signInForm(const std::string& form, const std::string& password) {
    return "form=" + form + "&user=bench&password=" + password;
}

// Wrong passwords for one account from many addresses, then the right one.
void guessing(const Site& site, int guesses) {
    const auto page = site.server.client()->Get("/account");
    const std::string cookieHeader = page->get_header_value("Set-Cookie");
    const std::string cookie = cookieHeader.substr(0, cookieHeader.find(';'));
    std::smatch match;
    std::regex_search(page->body, match, std::regex("name=\"form\" value=\"([^\"]+)\""));
    const auto post = [&](const std::string& source, const std::string& password) {
        RawTls connection(site.server.port(), source);
        const std::string body = signInForm(match[1], password);
        connection.send("POST /account/sign-in HTTP/1.1\r\nHost: localhost\r\nCookie: " + cookie +
                        "\r\nContent-Type: application/x-www-form-urlencoded\r\nContent-Length: " +
                        std::to_string(body.size()) + "\r\n\r\n" + body);
        return connection.answer().status;
    };
    int refused = 0;
    const auto start = Clock::now();
    for (int i = 0; i < guesses; ++i) refused += post(attackAddress(20, i), "guess" + std::to_string(i)) == 429;
    const int right = post(attackAddress(21, 0), "pw");
    std::printf("%-34s %d of %d refused before checking, in %.1f s; then the right password: %d\n",
                "guesses at one account, 1/address", refused, guesses, secondsSince(start), right);
}

}  // namespace

int main(int argc, char** argv) {
    const int perKind = argc > 1 ? std::max(10, std::atoi(argv[1])) : 1000;
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    raiseFileLimit();
    const site_test::TestStore place(site_test::StoreKind::Sqlite);
    place.addUser("bench", "pw", true);
    SiteProcess server(place.dataFolder());
    const Site site{server, site_test::linkDevice(server, place, "bench")};
    const std::string shot = site_test::makePng(64, 64, 1, kShotBytes);
    const auto uploaded = server.client()->Post("/api/shots", {{"Authorization", "Bearer " + site.token}}, shot, "image/png");
    const std::string shotPath = nlohmann::json::parse(uploaded->body)["url"].get<std::string>().substr(server.url().size());

    std::printf("== probe of GET /api/me, a new connection each, while slow connections are held\n");
    holdAndProbe(site, "floor: nothing held", {}, 0, 5);
    holdAndProbe(site, "silent TCP", {Slow::Silent}, perKind, 15);
    holdAndProbe(site, "stalled TLS handshake", {Slow::StalledHandshake}, perKind, 15);
    holdAndProbe(site, "headers at 1 byte/s", {Slow::TrickledHeaders}, perKind, 15);
    holdAndProbe(site, "all three kinds at once", {Slow::Silent, Slow::StalledHandshake, Slow::TrickledHeaders},
                 perKind, 15);
    holdAndProbe(site, "200 silent TCP from one address", {Slow::Silent}, 200, 5, 200);
    {
        std::atomic<int> unanswered{0};
        std::vector<std::thread> clients;
        for (int i = 0; i < 100; ++i) {
            clients.emplace_back([&, i] {
                int answered = 0;
                try {
                    RawTls connection(server.port(), burstAddress(i), 10);
                    while (answered < 10 && connection.send(request("GET /api/me", site.bearer())) &&
                           connection.answer().status == 200)
                        ++answered;
                } catch (const std::exception&) {
                }
                unanswered += 10 - answered;
            });
        }
        for (auto& client : clients) client.join();
        std::printf("%-34s %d of 1000 requests unanswered\n", "100 keep-alive clients, 10 each", unanswered.load());
    }

    std::printf("\n== server memory (VmRSS) during bursts and 3 s after\n");
    std::printf("%-34s %5ld MiB\n", "idle", residentKiB(server.pid()) / 1024);
    burst(site, "8 × a million header lines", 8, [&](int) {
        RawTls connection(server.port());
        std::string lines;
        for (int i = 0; i < 10000; ++i) lines += "X-A: b\r\n";
        connection.send("GET /api/me HTTP/1.1\r\nHost: localhost\r\n");
        for (int i = 0; i < 100 && connection.send(lines); ++i) {
        }
        connection.send("\r\n");
        return std::to_string(connection.answer().status);
    });
    burst(site, "64 unauthorised 12 MiB posts", kBurst, [&](int i) {
        return std::to_string(exchange(site, burstAddress(i), request("POST /api/shots", "", shot)).status);
    });
    burst(site, "64 authorised 12 MiB uploads", kBurst, [&](int i) {
        return std::to_string(exchange(site, burstAddress(i), request("POST /api/shots", site.bearer(), shot)).status);
    });
    {
        Prober prober(site);
        burst(site, "64 downloads of a 12 MiB shot", kBurst, [&](int i) {
            const auto answer = exchange(site, burstAddress(i), request("GET " + shotPath));
            return answer.body == shot ? std::string("whole") : std::to_string(answer.status);
        });
        std::printf("%-34s %s\n", "  probe during the downloads", prober.finish().c_str());
    }

    std::printf("\n== endless bodies, 10 s at most\n");
    const std::string head = "POST /api/shots HTTP/1.1\r\nHost: localhost\r\nContent-Type: image/png\r\n" + site.bearer();
    std::string chunk = "10000\r\n" + std::string(0x10000, 'x') + "\r\n";
    endlessBody(site, "chunked, with a token", head + "Transfer-Encoding: chunked\r\n\r\n", chunk, 10);
    endlessBody(site, "Content-Length 10^15, with a token", head + "Content-Length: 1000000000000000\r\n\r\n",
                std::string(0x10000, 'x'), 10);

    std::printf("\n== guessing\n");
    guessing(site, 20);

    std::printf("\n== SIGTERM with %d slow connections of each kind open\n", 10);
    {
        SlowHolder silent(server.port(), Slow::Silent, 10, 30), stalled(server.port(), Slow::StalledHandshake, 10, 31),
            trickled(server.port(), Slow::TrickledHeaders, 10, 32);
        std::this_thread::sleep_for(std::chrono::seconds(2));
        const auto start = Clock::now();
        const int status = server.stop();
        std::printf("%-34s exit %d after %.1f s\n", "stop", status, secondsSince(start));
    }
    return 0;
}
