// Any status, announced sizes and body bytes from the network: the exchange
// ends in an answer or a sentence, never reads more than it was told is
// there, never holds more than the cap, succeeds only on a 2xx status, and
// answers with nothing too deep to copy on a Windows thread's stack.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <stdexcept>

#include "scripted_connection.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    ScriptedConnection connection;
    connection.failingStep = input.PickValueInArray<const char*>({"", "session", "request", "exchange"});
    connection.availabilityFails = input.ConsumeBool();
    connection.status = input.ConsumeIntegral<std::uint16_t>();
    while (input.remaining_bytes() > 0 && connection.chunks.size() < 64) {
        // Small sizes most of the time, now and then one near or past the cap.
        bool large = input.ConsumeBool();
        std::size_t announced = large ? input.ConsumeIntegral<std::uint32_t>() : input.ConsumeIntegral<std::uint16_t>();
        std::size_t claimed = input.ConsumeIntegral<std::uint16_t>();  // may exceed the room it was given
        bool readFails = input.ConsumeBool();
        connection.chunks.push_back({input.ConsumeRandomLengthString(), readFails, announced, claimed});
    }
    try {
        nlohmann::json answer = performRequest(connection, {"https://clip.example", "token", "GET", "/api/me", {}, false});
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
