// What becomes of each request on a client connection: its admission
// before the body, the body streamed in, the application's answer streamed
// out, and the request's log line and figures.

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <string_view>
#include <vector>

#include "base/clock.h"
#include "http/rules.h"
#include "observability/access_log.h"
#include "server/connection/client_connection.h"

namespace site {
namespace {

bool isKnownMethod(std::string_view method) {
    for (const char* known : {"GET", "HEAD", "POST", "PUT", "DELETE", "OPTIONS", "PATCH"}) {
        if (method == known) return true;
    }
    return false;
}

std::string lowerCase(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower;
}

// One write per line, so lines of parallel requests never interleave.
void writeLog(const std::string& line) {
    const ssize_t written = ::write(STDERR_FILENO, line.data(), line.size());
    static_cast<void>(written);
}

}  // namespace

// Runs `work` on a worker, then `then` with its result on the loop.
template <typename Work, typename Then>
void ClientConnection::onWorker(Work work, Then then) {
    asio::post(*shared_.workers, [self = shared_from_this(), work = std::move(work), then = std::move(then)]() mutable {
        auto result = work(*self);
        asio::post(self->stream_.get_executor(), [self, then = std::move(then), result = std::move(result)]() mutable {
            then(*self, std::move(result));
        });
    });
}

void ClientConnection::beginRequest() {
    const auto& message = parser_->get();
    request_.method = std::string(message.method_string());
    const std::string_view target = message.target();
    request_.path = std::string(target.substr(0, target.find('?')));
    request_.remoteAddress = client_;
    version_ = message.version();
    std::vector<HeaderLine> lines;
    for (const auto& field : message) lines.push_back({lowerCase(field.name_string()), std::string(field.value())});
    if (const int problem = framingProblem(lines, version_, headerBytes_.folded())) return refuse(problem);
    if (!isKnownMethod(request_.method) || (version_ != 10 && version_ != 11)) return refuse(400);
    for (auto& line : lines) request_.headers.emplace(std::move(line.name), std::move(line.value));
    keepAlive_ = message.keep_alive();
    head_ = request_.method == "HEAD";
    if (!parser_->is_done()) {
        onWorker([](ClientConnection& self) { return self.shared_.app.admit(self.request_); },
                 [](ClientConnection& self, Admission admission) { self.admitted(std::move(admission)); });
    } else {
        handleRequest();
    }
}

void ClientConnection::admitted(Admission admission) {
    if (admission.refusal) return answer(std::move(*admission.refusal), true);
    bodyLimit_ = admission.bodyLimit;
    request_.bodySink = std::move(admission.bodySink);
    if (!beast::iequals(request_.header("expect"), "100-continue")) return readBody();
    headOnly_.emplace(http::status::continue_, version_);
    lowest().expires_after(kHeaderTime);
    http::async_write(stream_, *headOnly_, [self = shared_from_this()](ErrorCode error, std::size_t) {
        if (!error) self->readBody();
    });
}

void ClientConnection::readBody() {
    transferStart_ = SteadyClock::now();
    moved_ = 0;
    readPiece();
}

void ClientConnection::readPiece() {
    if (parser_->is_done()) return handleRequest();
    lowest().expires_at(transferStart_ + transferTime(moved_ + kPieceBytes));
    auto& body = parser_->get().body();
    body.data = piece();
    body.size = kPieceBytes;
    http::async_read(stream_, buffer_, *parser_,
                     [self = shared_from_this()](ErrorCode error, std::size_t) { self->onPiece(error); });
}

void ClientConnection::onPiece(ErrorCode error) {
    if (error == http::error::need_buffer) error = {};
    if (isParseError(error)) return refuse(400);
    if (error) return;
    const std::size_t got = kPieceBytes - parser_->get().body().size;
    moved_ += got;
    received_ += got;
    if (moved_ > bodyLimit_) {
        // The rest stays unread, so the connection cannot carry on.
        request_.bodyTooLarge = true;
        keepAlive_ = false;
        return handleRequest();
    }
    if (!request_.bodySink) {
        request_.body.append(piece_.get(), got);
        return readPiece();
    }
    onWorker(
        [got](ClientConnection& self) {
            try {
                self.request_.bodySink->append(std::string_view(self.piece_.get(), got));
                return true;
            } catch (const std::exception& failure) {
                std::fprintf(stderr, "error: storing an upload: %s\n", failure.what());
                return false;
            }
        },
        [](ClientConnection& self, bool stored) {
            if (!stored) return self.answer(self.shared_.app.fallback(500, self.request_.path), true);
            self.readPiece();
        });
}

// An answer that takes no wait is given at once; any other is made on a
// worker, which starts its write itself rather than waking the loop only
// for that. That is safe because while a worker has the request nothing else
// touches the connection: no read or write is pending, no deadline runs,
// and a stop leaves a request in flight alone. The write's completion, and
// any body after the headers, come back to the loop.
void ClientConnection::handleRequest() {
    if (auto quick = shared_.app.quickAnswer(request_)) return answer(std::move(*quick), false);
    asio::post(*shared_.workers,
               [self = shared_from_this()] { self->answer(self->shared_.app.handle(self->request_), false); });
}

// An answer the HTTP layer gives on its own; the connection then ends.
void ClientConnection::refuse(int status) {
    inFlight_ = true;
    answer(shared_.app.fallback(status, request_.path), true);
}

template <typename Message>
void ClientConnection::fill(Message& message, const SiteResponse& response, std::uint64_t length) {
    message.version(version_);
    message.result(static_cast<unsigned>(response.status));
    for (const auto& [name, value] : response.headers) message.insert(name, value);
    if (!response.contentType.empty()) message.set(http::field::content_type, response.contentType);
    for (const auto& [name, value] : standardHeaders(systemClock())) message.set(name, value);
    message.content_length(length);
    message.keep_alive(keepAlive_);
}

void ClientConnection::answer(SiteResponse response, bool close) {
    if (close || shared_.stopping) keepAlive_ = false;
    status_ = response.status;
    const std::uint64_t length = response.bodySource ? response.bodySource->size() : response.body.size();
    answerBytes_ = head_ ? 0 : length;
    transferStart_ = SteadyClock::now();
    moved_ = 0;
    const auto written = [self = shared_from_this()](ErrorCode error, std::size_t) {
        if (!error) self->source_ ? self->sendPiece() : self->answered();
    };
    if (head_ || response.bodySource) {
        source_ = head_ ? nullptr : std::move(response.bodySource);
        headOnly_.emplace();
        fill(*headOnly_, response, length);
        lowest().expires_at(transferStart_ + kTransferGrace);
        http::async_write(stream_, *headOnly_, written);
    } else {
        whole_.emplace();
        fill(*whole_, response, length);
        whole_->body() = std::move(response.body);
        lowest().expires_at(transferStart_ + transferTime(length));
        http::async_write(stream_, *whole_, written);
    }
}

void ClientConnection::sendPiece() {
    onWorker(
        [](ClientConnection& self) -> std::size_t {
            try {
                const std::uint64_t left = self.source_->size() - self.moved_;
                return self.source_->read(self.piece(), static_cast<std::size_t>(std::min<std::uint64_t>(kPieceBytes, left)));
            } catch (const std::exception& failure) {
                std::fprintf(stderr, "error: reading an answer's body: %s\n", failure.what());
                return 0;
            }
        },
        [](ClientConnection& self, std::size_t got) {
            if (got == 0) return;  // the source ended early: an answer cut short can only be ended
            self.moved_ += got;
            self.lowest().expires_at(self.transferStart_ + transferTime(self.moved_));
            asio::async_write(self.stream_, asio::buffer(self.piece_.get(), got),
                              [self = self.shared_from_this()](ErrorCode error, std::size_t) {
                                  if (error) return;
                                  self->moved_ == self->source_->size() ? self->answered() : self->sendPiece();
                              });
        });
}

// The request's log line and figures.
void ClientConnection::finish(std::uint64_t bytesOut) {
    const double seconds = std::chrono::duration<double>(SteadyClock::now() - requestStart_).count();
    writeLog(accessLogLine(
        {address_, startedAt_, request_.method, shared_.app.shownPath(request_.path), version_, status_, bytesOut, seconds}));
    shared_.requests.record(shared_.app.routeOf(request_), status_, seconds, received_, bytesOut);
    status_ = 0;
}

void ClientConnection::answered() {
    finish(answerBytes_);
    source_.reset();
    headOnly_.reset();
    whole_.reset();
    piece_.reset();
    if (keepAlive_ && !shared_.stopping) return nextRequest();
    linger();
}

}  // namespace site
