#include "server/event_loops.h"

#include <cstdio>
#include <exception>

namespace site {

void runLogged(asio::io_context& io) {
    for (;;) {
        try {
            io.run();
            return;
        } catch (const std::exception& error) {
            std::fprintf(stderr, "error: %s\n", error.what());
        }
    }
}

EventLoops::EventLoops(asio::io_context& main, int count) : main_(main) {
    for (int i = 1; i < count; ++i) {
        own_.push_back(std::make_unique<asio::io_context>(1));
        busy_.push_back(asio::make_work_guard(*own_.back()));
        threads_.emplace_back([io = own_.back().get()] { runLogged(*io); });
    }
}

EventLoops::~EventLoops() {
    stop();
}

asio::io_context& EventLoops::next() {
    const std::size_t turn = turn_++ % (own_.size() + 1);
    return turn == 0 ? main_ : *own_[turn - 1];
}

void EventLoops::stop() {
    for (auto& io : own_) io->stop();
    for (auto& thread : threads_) {
        if (thread.joinable()) thread.join();
    }
}

}  // namespace site
