// Any status, announced sizes and body bytes from the network: the exchange
// ends in an answer or a sentence, never reads more than it was told is
// there, never holds more than the cap, succeeds only on a 2xx status, and
// answers with nothing too deep to copy on a Windows thread's stack.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string>

#include "scripted_connection.h"
#include "site/http_exchange.h"

namespace {

// Reads the fuzz input front to back; past the end every value is zero.
struct InputReader {
    const std::uint8_t* data;
    std::size_t size, offset = 0;

    std::uint32_t number(int bytes) {
        std::uint32_t value = 0;
        for (int i = 0; i < bytes; ++i) value = (value << 8) | (offset < size ? data[offset++] : 0);
        return value;
    }
    std::string bytes(std::size_t count) {
        count = std::min(count, size - std::min(offset, size));
        std::string out(reinterpret_cast<const char*>(data + offset), count);
        offset += count;
        return out;
    }
};

void script(ScriptedConnection& connection, InputReader& input) {
    std::uint32_t flags = input.number(1);
    connection.failingStep = (flags & 1) ? "session" : (flags & 2) ? "request" : (flags & 4) ? "exchange" : "";
    connection.availabilityFails = (flags & 8) != 0;
    connection.status = input.number(2);
    while (input.offset < input.size && connection.chunks.size() < 64) {
        std::uint32_t kind = input.number(1);
        // Small sizes most of the time, now and then one near or past the cap.
        std::size_t announced = (kind & 0x80) ? input.number(4) : input.number(2);
        std::size_t claimed = input.number(2);  // may exceed the room it was given
        std::string data = input.bytes(input.number(2));
        connection.chunks.push_back({data, (kind & 1) != 0, announced, claimed});
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    InputReader input{data, size};
    ScriptedConnection connection;
    script(connection, input);
    HttpCall call{"https://clip.example", "token", "GET", "/api/me", {}, false};
    try {
        nlohmann::json answer = performRequest(connection, call);
        if (connection.status < 200 || connection.status > 299 || answer.is_discarded()) std::abort();
        nlohmann::json kept = answer;  // as a completion keeps it, one call per level
    } catch (const std::runtime_error& error) {
        if (std::string(error.what()).empty()) std::abort();
    } catch (const nlohmann::json::exception&) {
        // An error body of an unexpected shape: the runner turns it into a sentence.
    }
    if (connection.misread || connection.delivered > kMaxResponseBytes) std::abort();
    return 0;
}
