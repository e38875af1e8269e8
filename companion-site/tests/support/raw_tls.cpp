#include "support/raw_tls.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <stdexcept>

namespace site_test {
namespace {

SSL_CTX* clientContext() {
    static SSL_CTX* context = [] {
        SSL_CTX* made = SSL_CTX_new(TLS_client_method());
        SSL_CTX_set_verify(made, SSL_VERIFY_NONE, nullptr);
        return made;
    }();
    return context;
}

sockaddr_in loopback(const std::string& address, int port) {
    sockaddr_in where{};
    where.sin_family = AF_INET;
    where.sin_port = htons(static_cast<std::uint16_t>(port));
    ::inet_pton(AF_INET, address.c_str(), &where.sin_addr);
    return where;
}

}  // namespace

int connectTcp(int port, const std::string& source, int timeoutSeconds) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    const timeval timeout{timeoutSeconds, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
    const int yes = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
    const sockaddr_in from = loopback(source, 0);
    const sockaddr_in to = loopback("127.0.0.1", port);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&from), sizeof from) != 0 ||
        ::connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

RawTls::RawTls(int port, const std::string& source, int timeoutSeconds)
    : fd_(connectTcp(port, source, timeoutSeconds)) {
    if (fd_ < 0) throw std::runtime_error("no TCP connection");
    ssl_ = SSL_new(clientContext());
    SSL_set_fd(ssl_, fd_);
    SSL_set_tlsext_host_name(ssl_, "localhost");
    if (SSL_connect(ssl_) != 1) {
        SSL_free(ssl_);
        ::close(fd_);
        throw std::runtime_error("no TLS handshake");
    }
}

RawTls::~RawTls() {
    SSL_free(ssl_);
    ::close(fd_);
}

bool RawTls::send(std::string_view bytes) {
    while (!bytes.empty()) {
        const int written = SSL_write(ssl_, bytes.data(), static_cast<int>(std::min<std::size_t>(bytes.size(), 1 << 20)));
        if (written <= 0) return false;
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

bool RawTls::receive() {
    char buffer[16384];
    const int got = SSL_read(ssl_, buffer, sizeof buffer);
    if (got <= 0) {
        lastError_ = SSL_get_error(ssl_, got);
        return false;
    }
    pending_.append(buffer, static_cast<std::size_t>(got));
    return true;
}

RawAnswer RawTls::answer(bool headOnly) {
    RawAnswer answer;
    std::size_t end;
    while ((end = pending_.find("\r\n\r\n")) == std::string::npos) {
        if (!receive()) return answer;
    }
    const std::string head = pending_.substr(0, end + 2);
    pending_.erase(0, end + 4);
    for (std::size_t line = head.find("\r\n") + 2; line < head.size(); line = head.find("\r\n", line) + 2) {
        const std::size_t colon = head.find(':', line);
        const std::size_t stop = head.find("\r\n", line);
        const std::size_t valueAt = head.find_first_not_of(' ', colon + 1);
        std::string name = head.substr(line, colon - line);
        for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        answer.headers[name] = head.substr(valueAt, stop - valueAt);
    }
    const auto length = answer.headers.find("content-length");
    const std::size_t size = headOnly || length == answer.headers.end() ? 0 : std::stoul(length->second);
    while (pending_.size() < size) {
        if (!receive()) return answer;
    }
    answer.body = pending_.substr(0, size);
    pending_.erase(0, size);
    answer.status = std::stoi(head.substr(head.find(' ') + 1, 3));
    return answer;
}

bool RawTls::closedByServer() {
    while (receive()) {
    }
    // A read that timed out asks to be retried; anything else is the end.
    return lastError_ != SSL_ERROR_WANT_READ;
}

}  // namespace site_test
