#pragma once
// The network library under the names the server's files use. The server
// is the only part of the site that includes Boost.Asio and Boost.Beast.

#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core/error.hpp>
#include <boost/beast/http/error.hpp>

#include <chrono>

namespace site {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;
using ErrorCode = beast::error_code;
using SteadyClock = std::chrono::steady_clock;

// A malformed request, as opposed to a connection that failed or went quiet.
inline bool isParseError(const ErrorCode& error) {
    return error.category() == http::make_error_code(http::error::bad_target).category() &&
           error != http::error::end_of_stream && error != http::error::partial_message;
}

}  // namespace site
