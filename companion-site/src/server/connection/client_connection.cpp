// A client connection's own part: the handshake, the wait for each
// request's headers under their deadlines, the stop, and the linger that
// keeps an early answer from being lost to a reset.

#include "server/connection/client_connection.h"

#include <algorithm>
#include <limits>

#include "base/clock.h"
#include "http/rules.h"

namespace site {
namespace {

constexpr std::size_t kReadBufferBytes = 32 * 1024;  // headers and what follows them
constexpr auto kLingerTime = std::chrono::seconds(2);

// The peer's address as people write it: an IPv4 client on a dual-stack
// socket without its "::ffff:".
std::string addressOf(const tcp::endpoint& peer) {
    const auto address = peer.address();
    if (address.is_v6() && address.to_v6().is_v4_mapped())
        return asio::ip::make_address_v4(asio::ip::v4_mapped, address.to_v6()).to_string();
    return address.to_string();
}

}  // namespace

ClientConnection::ClientConnection(Shared& shared, tcp::socket socket, std::string address, std::string client)
    : shared_(shared),
      stream_(std::move(socket), shared.tls),
      address_(std::move(address)),
      client_(std::move(client)),
      buffer_(kReadBufferBytes) {}

ClientConnection::~ClientConnection() {
    if (status_ != 0) finish(source_ ? moved_ : 0);  // an answer cut short
    shared_.limits.release(client_);
    shared_.trimDue = true;
    std::lock_guard lock(shared_.mutex);
    shared_.open.erase(this);
}

void ClientConnection::start() {
    {
        std::lock_guard lock(shared_.mutex);
        shared_.open.emplace(this, weak_from_this());
    }
    if (shared_.stopping) return;
    lowest().expires_after(kHeaderTime);
    stream_.async_handshake(asio::ssl::stream_base::server, [self = shared_from_this()](ErrorCode error) {
        if (!error) self->nextRequest();
    });
}

void ClientConnection::stop() {
    asio::post(stream_.get_executor(), [self = shared_from_this()] {
        if (!self->inFlight_) self->lowest().close();
    });
}

char* ClientConnection::piece() {
    if (!piece_) piece_ = std::make_unique<char[]>(kPieceBytes);
    return piece_.get();
}

void ClientConnection::nextRequest() {
    if (shared_.stopping) return;
    inFlight_ = false;
    parser_.emplace();
    parser_->header_limit(kMaxHeaderBytes);
    // The application's limits apply, before and while the body is read.
    parser_->body_limit(std::numeric_limits<std::uint64_t>::max());
    request_ = SiteRequest{};
    head_ = false;
    received_ = 0;
    const bool first = requests_++ == 0;  // its deadline, set before the handshake, still runs
    if (buffer_.size() > 0) {
        lowest().expires_after(kHeaderTime);
        return readHeader();
    }
    buffer_.shrink_to_fit();
    // Idle until the first byte of the next request, then its headers.
    if (!first) lowest().expires_after(kIdleTime);
    stream_.async_read_some(buffer_.prepare(kMaxHeaderBytes),
                            [self = shared_from_this(), first](ErrorCode error, std::size_t got) {
                                if (error) return;
                                self->buffer_.commit(got);
                                if (!first) self->lowest().expires_after(kHeaderTime);
                                self->readHeader();
                            });
}

void ClientConnection::readHeader() {
    if (parseBufferedHeader()) return;
    http::async_read_header(stream_, headerBytes_, *parser_,
                            [self = shared_from_this()](ErrorCode error, std::size_t) { self->onHeader(error); });
}

// A request mostly comes whole with its first bytes; parsing it from the
// buffer at once spares the event loop a read that would only find it there.
// False when the headers have not all come yet (or nothing has).
bool ClientConnection::parseBufferedHeader() {
    ErrorCode error;
    headerBytes_.consume(parser_->put(buffer_.data(), error));  // a request line may go before its headers
    if (error == http::error::need_more) return false;
    onHeader(error);
    return true;
}

void ClientConnection::onHeader(ErrorCode error) {
    requestStart_ = SteadyClock::now();
    startedAt_ = systemClock();
    if (error == http::error::header_limit || error == http::error::buffer_overflow) return refuse(431);
    if (isParseError(error)) return refuse(400);
    if (error) return;  // gone, or too slow
    inFlight_ = true;
    lowest().expires_never();
    beginRequest();
}

// Sends FIN, then reads and drops what the client still sends of its body,
// for as long as a client at the least rate would need, so that an answer
// sent before the body is not lost to a reset. Nothing of it is decrypted
// or kept.
void ClientConnection::linger() {
    inFlight_ = false;
    const std::uint64_t unread = unreadBody();
    ErrorCode ignored;
    lowest().socket().shutdown(tcp::socket::shutdown_send, ignored);
    lowest().expires_after(unread == 0 ? kLingerTime : transferTime(unread));
    drainLeft_ = unread + unread / 32 + kPieceBytes;  // the records around the body add a little
    drain();
}

std::uint64_t ClientConnection::unreadBody() const {
    if (!parser_ || !parser_->is_header_done() || parser_->is_done()) return 0;
    const std::uint64_t largest = shared_.app.largestBody();
    return std::min<std::uint64_t>(parser_->content_length_remaining().value_or(largest), largest);
}

void ClientConnection::drain() {
    lowest().async_read_some(asio::buffer(piece(), kPieceBytes), [self = shared_from_this()](ErrorCode error, std::size_t got) {
        if (error || got >= self->drainLeft_) return;
        self->drainLeft_ -= got;
        self->drain();
    });
}

void admitClient(Shared& shared, tcp::socket socket) {
    ErrorCode error;
    const auto peer = socket.remote_endpoint(error);
    if (error) return;
    std::string address = addressOf(peer);
    std::string client = clientKey(address);
    if (!shared.limits.admit(client)) return;
    socket.set_option(tcp::no_delay(true), error);
    std::make_shared<ClientConnection>(shared, std::move(socket), std::move(address), std::move(client))->start();
}

}  // namespace site
