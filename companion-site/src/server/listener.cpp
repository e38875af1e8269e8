#include "server/listener.h"

#include <string>

namespace site {

std::optional<tcp::endpoint> listenOn(asio::io_context& io, tcp::acceptor& acceptor, const ListenAddress& address) {
    ErrorCode error;
    tcp::resolver resolver(io);
    const auto found = resolver.resolve(address.host, std::to_string(address.port), tcp::resolver::passive, error);
    if (error || found.empty()) return std::nullopt;
    const tcp::endpoint endpoint = found.begin()->endpoint();
    acceptor.open(endpoint.protocol(), error);
    if (!error) acceptor.set_option(tcp::acceptor::reuse_address(true), error);
    if (!error) acceptor.bind(endpoint, error);
    if (!error) acceptor.listen(asio::socket_base::max_listen_connections, error);
    if (error) return std::nullopt;
    return acceptor.local_endpoint();
}

Listener::Listener(EventLoops& loops, tcp::acceptor& acceptor, Admit admit)
    : loops_(loops), acceptor_(acceptor), admit_(std::move(admit)), pause_(loops.main()) {}

void Listener::accept() {
    acceptor_.async_accept(loops_.next(), [this](ErrorCode error, tcp::socket socket) {
        if (error == asio::error::operation_aborted) return;
        if (error) {
            // Out of descriptors or memory for a moment: try again soon.
            pause_.expires_after(std::chrono::milliseconds(100));
            pause_.async_wait([this](ErrorCode waited) {
                if (!waited) accept();
            });
            return;
        }
        admit_(std::move(socket));
        accept();
    });
}

void Listener::stop() {
    ErrorCode ignored;
    acceptor_.close(ignored);
    pause_.cancel();
}

}  // namespace site
