#pragma once
// A TLS connection to the site on loopback that sends bytes as given, for
// requests no ordinary client would send, and reads answers as they come.

#include <arpa/inet.h>
#include <netinet/tcp.h>
#include <openssl/ssl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <map>
#include <stdexcept>
#include <string>
#include <string_view>

namespace site_test {

struct RawAnswer {
    int status = 0;  // 0: the connection ended before a whole answer
    std::map<std::string, std::string> headers;  // names in lower case
    std::string body;
};

// A plain TCP connection from `source` (any 127.x.y.z address); -1 when it fails.
inline int connectTcp(int port, const std::string& source, int timeoutSeconds) {
    const auto address = [](const std::string& host, int portNumber) {
        sockaddr_in where{AF_INET, htons(static_cast<std::uint16_t>(portNumber)), {}, {}};
        ::inet_pton(AF_INET, host.c_str(), &where.sin_addr);
        return where;
    };
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const timeval timeout{timeoutSeconds, 0};
    const int yes = 1;
    const sockaddr_in from = address(source, 0), to = address("127.0.0.1", port);
    if (fd >= 0 && ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout) == 0 &&
        ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout) == 0 &&
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes) == 0 &&
        ::bind(fd, reinterpret_cast<const sockaddr*>(&from), sizeof from) == 0 &&
        ::connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0)
        return fd;
    if (fd >= 0) ::close(fd);
    return -1;
}

class RawTls {
public:
    // Connects and finishes the handshake (the server's certificate is not
    // checked); throws when either fails within `timeoutSeconds`.
    explicit RawTls(int port, const std::string& source = "127.0.0.1", int timeoutSeconds = 30)
        : fd_(connectTcp(port, source, timeoutSeconds)) {
        static SSL_CTX* const context = SSL_CTX_new(TLS_client_method());
        if (fd_ < 0) throw std::runtime_error("no TCP connection");
        ssl_ = SSL_new(context);
        SSL_set_fd(ssl_, fd_);
        SSL_set_tlsext_host_name(ssl_, "localhost");
        if (SSL_connect(ssl_) != 1) {
            SSL_free(ssl_);
            ::close(fd_);
            throw std::runtime_error("no TLS handshake");
        }
    }
    RawTls(const RawTls&) = delete;
    RawTls& operator=(const RawTls&) = delete;
    ~RawTls() {
        SSL_free(ssl_);
        ::close(fd_);
    }

    // False once the server has closed the connection.
    bool send(std::string_view bytes) {
        for (int written; !bytes.empty(); bytes.remove_prefix(static_cast<std::size_t>(written)))
            if ((written = SSL_write(ssl_, bytes.data(), static_cast<int>(std::min<std::size_t>(bytes.size(), 1 << 20)))) <= 0)
                return false;
        return true;
    }

    // The next answer, its body framed by Content-Length; for a HEAD answer
    // pass `headOnly`, which reads no body.
    RawAnswer answer(bool headOnly = false) {
        RawAnswer answer;
        std::size_t end;
        while ((end = pending_.find("\r\n\r\n")) == std::string::npos)
            if (!receive()) return answer;
        const std::string head = pending_.substr(0, end + 2);
        pending_.erase(0, end + 4);
        for (std::size_t line = head.find("\r\n") + 2; line < head.size(); line = head.find("\r\n", line) + 2) {
            const std::size_t colon = head.find(':', line), valueAt = head.find_first_not_of(' ', colon + 1);
            std::string name = head.substr(line, colon - line);
            for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            answer.headers[name] = head.substr(valueAt, head.find("\r\n", line) - valueAt);
        }
        const auto length = answer.headers.find("content-length");
        const std::size_t size = headOnly || length == answer.headers.end() ? 0 : std::stoul(length->second);
        while (pending_.size() < size)
            if (!receive()) return answer;
        answer.body = pending_.substr(0, size);
        pending_.erase(0, size);
        answer.status = std::stoi(head.substr(head.find(' ') + 1, 3));
        return answer;
    }

    // True when the server closes the connection (after anything it still
    // sends), false when it keeps it open past the timeout: a read that timed
    // out asks to be retried, anything else is the end.
    bool closedByServer() {
        while (receive()) continue;
        return lastError_ != SSL_ERROR_WANT_READ;
    }
    int fd() const { return fd_; }

private:
    int fd_ = -1;
    SSL* ssl_ = nullptr;
    std::string pending_;  // received but not yet taken
    int lastError_ = SSL_ERROR_NONE;

    bool receive() {
        char buffer[16384];
        const int got = SSL_read(ssl_, buffer, sizeof buffer);
        if (got <= 0) lastError_ = SSL_get_error(ssl_, got);
        else pending_.append(buffer, static_cast<std::size_t>(got));
        return got > 0;
    }
};

}  // namespace site_test
