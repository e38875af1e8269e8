// The real program's server over HTTPS on loopback, with certificates from
// a test authority: what only the socket, the process and its log show
// (what the answers say is tested through Site itself).

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "http/rules.h"
#include "support/raw_tls.h"
#include "support/site_process.h"
#include "web/quota.h"

namespace {

using namespace site_test;
using SteadyClock = std::chrono::steady_clock;

// Waits until `bytes` are due from a transfer at `bytesPerSecond` begun at `start`.
void keepPace(SteadyClock::time_point start, std::uint64_t bytes, std::uint64_t bytesPerSecond) {
    std::this_thread::sleep_until(start + std::chrono::microseconds(bytes * 1000000 / bytesPerSecond));
}

// Alice, with a linked device, on a server of her own.
struct Server : ::testing::Test {
    const site_test::TestStore place{site_test::StoreKind::Sqlite};
    SiteProcess server{place.dataFolder()};
    std::string token = (place.addUser("alice", "pw"), site_test::linkDevice(server, place, "alice"));
};

// Framing errors get their answer and end the connection; pipelined
// requests are answered in order, with HSTS, nosniff and a date. An upload's
// token and length are judged before one byte of its body is sent; a chunked
// body is cut at the largest shot, which itself goes through whole.
TEST_F(Server, FramingHeadersAndUploadsOverTheWire) {
    const std::string post = "POST /api/link/redeem HTTP/1.1\r\nHost: localhost\r\n";
    const std::string upload = "POST /api/shots HTTP/1.1\r\nHost: localhost\r\nContent-Type: image/png\r\n";
    const std::string authorization = "Authorization: Bearer " + token + "\r\n";
    std::string manyLines = "GET /healthz HTTP/1.1\r\nHost: localhost\r\n";
    for (int i = 0; i < 100; ++i) manyLines += "X-Line: " + std::to_string(i) + "\r\n";
    const std::pair<std::string, int> cases[] = {
        {post + "Content-Length: 5\r\nTransfer-Encoding: chunked\r\n\r\n0\r\n\r\n", 400},
        {post + "Transfer-Encoding: chunked\r\nContent-Length: 5\r\n\r\n0\r\n\r\n", 400},
        {post + "Content-Length: 2\r\nContent-Length: 2\r\n\r\n{}", 400},
        {post + "Content-Length: 2, 2\r\n\r\n{}", 400},
        {post + "Transfer-Encoding: gzip, chunked\r\n\r\n0\r\n\r\n", 400},
        {post + "Transfer-Encoding: chunked\r\n\r\nzz\r\n{}", 400},
        {"GET /api/notifications HTTP/1.1\r\nHost: localhost\r\nContent-Length: 5\r\n\r\nGET /", 400},
        {"GET /healthz HTTP/2.0\r\nHost: localhost\r\n\r\n", 400},
        {"GET /healthz HTTP/1.1\r\n\r\n", 400},
        {"GET /healthz HTTP/1.1\r\nHost: localhost\r\nX-A: 1\r\n 2\r\n\r\n", 400},
        {"GET /healthz HTTP/1.1\r\nHost: localhost\r\nX-A: 1\r\n\t2\r\n\r\n", 400},
        {manyLines + "\r\n", 431},
        {"GET /healthz HTTP/1.1\r\nX-Big: " + std::string(17 * 1024, 'a') + "\r\n\r\n", 431},
        {upload + "Content-Length: 1000\r\n\r\n", 401},
        {upload + authorization + "Content-Length: 12582913\r\n\r\n", 413},
        {upload + authorization + "Content-Length: 1000000000000000\r\n\r\n", 413},
    };
    for (const auto& [request, status] : cases) {
        RawTls connection(server.port());
        connection.send(request);
        EXPECT_EQ(connection.answer().status, status) << request;
        EXPECT_TRUE(connection.closedByServer()) << request;
    }

    RawTls pipelined(server.port());
    pipelined.send("GET /healthz HTTP/1.1\r\nHost: localhost\r\n\r\nGET /api/notifications HTTP/1.1\r\nHost: localhost\r\n"
                   "\r\nHEAD /healthz HTTP/1.1\r\nHost: localhost\r\n\r\nGET /nowhere HTTP/1.1\r\nHost: localhost\r\n\r\n");
    auto first = pipelined.answer();
    EXPECT_EQ(first.body, "ok\n");
    EXPECT_EQ(first.headers["strict-transport-security"], "max-age=31536000");
    EXPECT_EQ(first.headers["x-content-type-options"], "nosniff");
    EXPECT_TRUE(first.headers["date"].ends_with(" GMT")) << first.headers["date"];
    EXPECT_EQ(pipelined.answer().body, "[]");
    EXPECT_EQ(pipelined.answer(true).headers["content-length"], "3");
    EXPECT_EQ(pipelined.answer().status, 404);  // a HEAD answer with a body would be read here

    RawTls chunked(server.port());
    chunked.send(upload + authorization + "Transfer-Encoding: chunked\r\n\r\n");
    const std::string chunk = "100000\r\n" + std::string(1 << 20, 'x') + "\r\n";
    for (int i = 0; i < 13 && chunked.send(chunk); ++i) continue;
    EXPECT_EQ(chunked.answer().status, 413);
    auto client = server.client();
    const std::string largest = makePng(8, 8, 1, site::kMaxShotBytes);
    const auto served = client->Get(site_test::linkPath(site_test::uploadShot(*client, token, largest)));
    EXPECT_TRUE(served && served->body == largest);
}

// Bodies in and out may take several header deadlines while they keep just
// above the least rate, and an upload so sent is kept; a body at half that
// rate is cut off long before it could end.
TEST_F(Server, SlowTransfersCompleteAboveTheLeastRate) {
    constexpr auto kLong = 3 * site::kHeaderTime;
    constexpr std::uint64_t kHonest = site::kMinBytesPerSecond * 11 / 10;
    constexpr std::size_t kStep = 16 * 1024;
    const std::string sent = makePng(64, 64, 1, kHonest * kLong.count());
    const std::string stored = makePng(64, 64, 2, site::kMaxShotBytes);
    const std::string storedLink = site_test::linkPath(site_test::uploadShot(*server.client(), token, stored));

    std::string sentLink, fetched;
    std::jthread uploader([&] {
        const auto start = SteadyClock::now();
        const auto provide = [&](std::size_t offset, std::size_t left, httplib::DataSink& sink) {
            keepPace(start, offset + std::min(left, kStep), kHonest);
            return sink.write(sent.data() + offset, std::min(left, kStep));
        };
        sentLink = site_test::linkPath(server.client()->Post("/api/shots", bearer(token), sent.size(), provide, "image/png"));
    });
    std::jthread downloader([&] {
        // At the pace for as long as the upload, then at full speed: the
        // largest shot, so the server is still writing when the pace ends
        // however much loopback's buffers take ahead of the reading.
        const auto start = SteadyClock::now();
        server.client()->Get(storedLink, [&](const char* bytes, std::size_t length) {
            fetched.append(bytes, length);
            if (SteadyClock::now() - start < kLong) keepPace(start, fetched.size(), kHonest);
            return true;
        });
    });
    RawTls slow(server.port());
    slow.send("POST /api/shots HTTP/1.1\r\nHost: localhost\r\nContent-Type: image/png\r\nAuthorization: Bearer " + token +
              "\r\nContent-Length: " + std::to_string(sent.size()) + "\r\n\r\n");
    const auto start = SteadyClock::now();
    for (std::size_t at = 0; SteadyClock::now() - start < kLong && slow.send(sent.substr(at, kStep)); at += kStep)
        keepPace(start, at + kStep, site::kMinBytesPerSecond / 2);
    EXPECT_LT(SteadyClock::now() - start, kLong);
    uploader.join();
    downloader.join();
    EXPECT_TRUE(fetched == stored) << fetched.size();
    const auto kept = server.client()->Get(sentLink);
    EXPECT_TRUE(kept && kept->body == sent) << sentLink;
}

}  // namespace
