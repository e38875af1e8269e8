#pragma once
// The threads that carry the connections' bytes, each with an event loop of
// its own. A connection stays on one loop, so an event wakes only the
// thread that has it; threads sharing one loop would hand it to each other
// at every event.

#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>

#include <cstddef>
#include <memory>
#include <thread>
#include <vector>

#include "server/net.h"

namespace site {

// Runs `io` until it is stopped, logging what escapes a handler.
void runLogged(asio::io_context& io);

class EventLoops {
public:
    // `main`: the loop of the ports, the signals and the timers, run by the
    // caller; `count - 1` more run on threads of their own until stop().
    EventLoops(asio::io_context& main, int count);
    EventLoops(const EventLoops&) = delete;
    ~EventLoops();

    asio::io_context& main() { return main_; }
    // The loop for a new connection: each in turn. Called from the main
    // loop only.
    asio::io_context& next();
    // Stops the loops of their own and waits for their threads.
    void stop();

private:
    asio::io_context& main_;
    std::vector<std::unique_ptr<asio::io_context>> own_;
    std::vector<asio::executor_work_guard<asio::io_context::executor_type>> busy_;  // run while idle
    std::vector<std::thread> threads_;
    std::size_t turn_ = 0;
};

}  // namespace site
