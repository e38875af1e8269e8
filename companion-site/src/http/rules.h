#pragma once
// The rules of the HTTP layer that need no socket: how a request must be
// framed, how long its parts may take, and the headers of every answer.

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace site {

inline constexpr std::size_t kMaxHeaderBytes = 16 * 1024;  // request line and headers
inline constexpr std::size_t kMaxHeaderLines = 100;
inline constexpr std::chrono::seconds kHeaderTime{10};     // handshake, request line and headers
inline constexpr std::chrono::seconds kIdleTime{5};        // between requests on one connection
// Bodies in and out must move at least this fast after a first grace, so a
// slow uplink sends 12 MiB in a few minutes while a trickle is cut off.
inline constexpr std::uint64_t kMinBytesPerSecond = 32 * 1024;
inline constexpr std::chrono::seconds kTransferGrace{10};

struct HeaderLine {
    std::string name;  // lower case
    std::string value;
};

// 0 when the lines frame a request's body beyond doubt, else the status to
// answer before closing: 431 for too many lines, 400 for a Content-Length
// that is repeated or not a number, one next to Transfer-Encoding, a
// transfer coding other than chunked, an HTTP/1.1 request (`version` 11)
// without exactly one Host, or header lines that came `folded`. A doubtful
// length or host is how one request hides inside another behind a proxy,
// so none is guessed at.
int framingProblem(const std::vector<HeaderLine>& lines, unsigned version, bool folded);

// Whether a request line and headers, as they came, continue a line on the
// next one (a line break, then a space or a tab); the parser would join
// them without a trace.
bool hasFoldedLine(std::string_view headerBytes);

// How long `bytes` of a body may take to move, counted from its start.
std::chrono::steady_clock::duration transferTime(std::uint64_t bytes);

// "Tue, 06 Jan 2026 08:49:37 GMT"
std::string httpDate(std::int64_t unixSeconds);

// What every answer carries besides its own headers.
std::vector<std::pair<std::string, std::string>> standardHeaders(std::int64_t unixSeconds);

// The key a client's connections are counted under: its address, or for
// IPv6 its /64 network, which one subscriber usually holds whole.
std::string clientKey(const std::string& address);

}  // namespace site
