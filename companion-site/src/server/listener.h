#pragma once
// A listening socket and the loop that accepts on it.

#include <boost/asio/io_context.hpp>
#include <boost/asio/steady_timer.hpp>

#include <functional>
#include <optional>

#include "base/addresses.h"
#include "server/event_loops.h"
#include "server/net.h"

namespace site {

// Opens `acceptor` on `address`; the port it got (for port 0, the one the
// system chose), or nothing when it cannot.
std::optional<tcp::endpoint> listenOn(asio::io_context& io, tcp::acceptor& acceptor, const ListenAddress& address);

// Accepts connections on the main loop, each onto the next of the loops,
// and hands it to `admit`, which may close it at once: cheap, so a flood of
// connections costs the server little.
class Listener {
public:
    using Admit = std::function<void(tcp::socket)>;

    Listener(EventLoops& loops, tcp::acceptor& acceptor, Admit admit);

    void accept();
    void stop();

private:
    EventLoops& loops_;
    tcp::acceptor& acceptor_;
    Admit admit_;
    asio::steady_timer pause_;
};

}  // namespace site
