#include "server/metrics_endpoint.h"

#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>

#include <atomic>
#include <memory>
#include <string>
#include <string_view>

#include "http/rules.h"
#include "observability/metrics.h"

namespace site {
namespace {

// What the server and the application count, and the open connections,
// read on a worker since the application's figures may ask the store.
std::string metricsText(Shared& shared) {
    MetricsPage page;
    shared.requests.write(page);
    page.family("clipvane_open_connections", "gauge", "Client connections open now.");
    page.sample("clipvane_open_connections", {}, static_cast<double>(shared.limits.open()));
    shared.app.writeMetrics(page);
    return page.text();
}

// One plain-HTTP request for the metrics page per connection, then close.
class MetricsConnection : public std::enable_shared_from_this<MetricsConnection> {
public:
    MetricsConnection(Shared& shared, tcp::socket socket, std::shared_ptr<std::atomic<int>> open)
        : shared_(shared), stream_(std::move(socket)), open_(std::move(open)) {}
    ~MetricsConnection() { --*open_; }

    void start() {
        parser_.header_limit(kMaxHeaderBytes);
        stream_.expires_after(kHeaderTime);
        http::async_read(stream_, buffer_, parser_, [self = shared_from_this()](ErrorCode error, std::size_t) {
            if (!error) self->onRequest();
        });
    }

private:
    Shared& shared_;
    beast::tcp_stream stream_;
    std::shared_ptr<std::atomic<int>> open_;
    beast::flat_buffer buffer_;
    http::request_parser<http::empty_body> parser_;
    http::response<http::string_body> response_;

    void onRequest() {
        const auto& request = parser_.get();
        const std::string_view target = request.target();
        if (request.method() != http::verb::get) return send(http::status::method_not_allowed, "GET only\n");
        if (target.substr(0, target.find('?')) != "/metrics") return send(http::status::not_found, "not found\n");
        asio::post(*shared_.workers, [self = shared_from_this()] {
            std::string text = metricsText(self->shared_);
            asio::post(self->stream_.get_executor(), [self, text = std::move(text)]() mutable {
                self->send(http::status::ok, std::move(text));
            });
        });
    }

    void send(http::status status, std::string body) {
        response_.result(status);
        response_.version(11);
        response_.set(http::field::content_type, status == http::status::ok
                                                     ? "text/plain; version=0.0.4; charset=utf-8"
                                                     : "text/plain; charset=utf-8");
        response_.body() = std::move(body);
        response_.prepare_payload();
        response_.keep_alive(false);
        stream_.expires_after(kHeaderTime);
        http::async_write(stream_, response_, [self = shared_from_this()](ErrorCode, std::size_t) {
            ErrorCode ignored;
            self->stream_.socket().shutdown(tcp::socket::shutdown_send, ignored);
        });
    }
};

}  // namespace

Listener::Admit metricsAdmission(Shared& shared) {
    constexpr int kMaxOpen = 16;
    return [&shared, open = std::make_shared<std::atomic<int>>(0)](tcp::socket socket) {
        if (++*open > kMaxOpen) {
            --*open;
            return;
        }
        std::make_shared<MetricsConnection>(shared, std::move(socket), open)->start();
    };
}

}  // namespace site
