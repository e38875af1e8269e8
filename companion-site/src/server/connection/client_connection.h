#pragma once
// One client connection over TLS. Its steps run on the one thread of its
// event loop, so they need no strand, except the application's work, which
// runs on the workers and comes back to the loop with its result; a worker
// that made an answer starts its write itself. The connection's own part
// (the handshake, waiting for and reading headers, the deadlines, the stop
// and the linger) is in client_connection.cpp; what happens to each request
// (its admission, its body in or out, the answer, the log line and the
// figures) in client_request.cpp.

#include <boost/asio/ssl.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/ssl.hpp>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "http/application.h"
#include "server/connection/header_bytes.h"
#include "server/net.h"
#include "server/shared.h"

namespace site {

class ClientConnection : public std::enable_shared_from_this<ClientConnection> {
public:
    ClientConnection(Shared& shared, tcp::socket socket, std::string address, std::string client);
    ~ClientConnection();

    void start();
    // On SIGTERM: ends the connection at once unless a request is in flight,
    // which is answered first.
    void stop();

private:
    static constexpr std::size_t kPieceBytes = 64 * 1024;  // one step of a body in or out

    Shared& shared_;
    beast::ssl_stream<beast::tcp_stream> stream_;
    const std::string address_;
    const std::string client_;  // the key its connections are counted under
    beast::flat_buffer buffer_;
    HeaderBytes<beast::flat_buffer> headerBytes_{buffer_};
    std::optional<http::request_parser<http::buffer_body>> parser_;
    SiteRequest request_;
    unsigned version_ = 11;
    bool keepAlive_ = false;
    bool head_ = false;
    bool inFlight_ = false;  // from a whole request line and headers to the end of the answer
    int requests_ = 0;
    std::size_t bodyLimit_ = 0;
    std::uint64_t moved_ = 0;  // body bytes in or out so far
    SteadyClock::time_point requestStart_, transferStart_;
    std::int64_t startedAt_ = 0;  // the request's start, for the log
    std::uint64_t received_ = 0;  // body bytes of the request
    std::uint64_t answerBytes_ = 0;
    std::unique_ptr<char[]> piece_;
    std::optional<http::response<http::empty_body>> headOnly_;
    std::optional<http::response<http::string_body>> whole_;
    std::shared_ptr<ByteSource> source_;  // of the answer's body
    int status_ = 0;  // of the answer under way; 0 when none is
    std::uint64_t drainLeft_ = 0;

    beast::tcp_stream& lowest() { return beast::get_lowest_layer(stream_); }
    char* piece();

    // The connection
    void nextRequest();
    void readHeader();
    bool parseBufferedHeader();
    void onHeader(ErrorCode error);
    void linger();
    std::uint64_t unreadBody() const;
    void drain();

    // Each request
    template <typename Work, typename Then>
    void onWorker(Work work, Then then);
    void beginRequest();
    void admitted(Admission admission);
    void readBody();
    void readPiece();
    void onPiece(ErrorCode error);
    void handleRequest();
    void refuse(int status);
    template <typename Message>
    void fill(Message& message, const SiteResponse& response, std::uint64_t length);
    void answer(SiteResponse response, bool close);
    void sendPiece();
    void finish(std::uint64_t bytesOut);
    void answered();
};

// A client connection for the socket, unless its address or the server is
// at its cap.
void admitClient(Shared& shared, tcp::socket socket);

}  // namespace site
