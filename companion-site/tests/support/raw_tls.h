#pragma once
// A TLS connection to the site on loopback that sends bytes as given, for
// requests no ordinary client would send, and reads answers as they come.

#include <openssl/ssl.h>

#include <map>
#include <string>
#include <string_view>

namespace site_test {

struct RawAnswer {
    int status = 0;  // 0: the connection ended before a whole answer
    std::map<std::string, std::string> headers;  // names in lower case
    std::string body;
};

class RawTls {
public:
    // Connects from `source` (any 127.x.y.z address) and finishes the
    // handshake; throws when either fails within `timeoutSeconds`.
    explicit RawTls(int port, const std::string& source = "127.0.0.1", int timeoutSeconds = 30);
    RawTls(const RawTls&) = delete;
    RawTls& operator=(const RawTls&) = delete;
    ~RawTls();

    // False once the server has closed the connection.
    bool send(std::string_view bytes);
    // The next answer, its body framed by Content-Length; for a HEAD answer
    // pass `headOnly`, which reads no body.
    RawAnswer answer(bool headOnly = false);
    // True when the server closes the connection (after anything it still
    // sends), false when it keeps it open past the timeout.
    bool closedByServer();
    int fd() const { return fd_; }

private:
    int fd_ = -1;
    SSL* ssl_ = nullptr;
    std::string pending_;  // received but not yet taken
    int lastError_ = SSL_ERROR_NONE;

    bool receive();
};

// A plain TCP connection from `source`; -1 when it fails.
int connectTcp(int port, const std::string& source, int timeoutSeconds);

}  // namespace site_test
