// Any status, announced sizes and body bytes from the network: the exchange
// ends in an answer or a sentence, never reads more than it was told is
// there, never holds more than the cap, succeeds only on a 2xx status, and
// answers with nothing too deep to copy on a Windows thread's stack.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

#include "site/http_exchange.h"

namespace {

// Reads the fuzz input front to back; past the end every value is zero.
class InputReader {
public:
    InputReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    std::uint8_t byte() { return offset_ < size_ ? data_[offset_++] : 0; }
    std::uint32_t number(int bytes) {
        std::uint32_t value = 0;
        for (int i = 0; i < bytes; ++i) value = (value << 8) | byte();
        return value;
    }
    std::string bytes(std::size_t count) {
        std::size_t available = offset_ < size_ ? size_ - offset_ : 0;
        count = count < available ? count : available;
        std::string out(reinterpret_cast<const char*>(data_ + offset_), count);
        offset_ += count;
        return out;
    }
    bool done() const { return offset_ >= size_; }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t offset_ = 0;
};

struct Chunk {
    std::size_t announced;
    std::size_t claimed;  // what readInto reports, which may exceed what it was given room for
    std::string data;
    bool readFails;
};

class FuzzConnection : public HttpConnection {
public:
    explicit FuzzConnection(InputReader& input) {
        std::uint8_t flags = input.byte();
        sessionOpens_ = (flags & 1) == 0;
        requestOpens_ = (flags & 2) == 0;
        exchangeWorks_ = (flags & 4) == 0;
        availabilityFails_ = (flags & 8) != 0;
        status = input.number(2);
        while (!input.done() && chunks_.size() < 64) {
            std::uint8_t kind = input.byte();
            // Small sizes most of the time, now and then one near or past the cap.
            std::size_t announced = (kind & 0x80) ? input.number(4) : input.number(2);
            std::size_t claimed = input.number(2);
            chunks_.push_back({announced, claimed, input.bytes(input.number(2)), (kind & 1) != 0});
        }
    }

    std::uint32_t status = 0;
    std::size_t delivered = 0;

    bool openSession(const HttpTimeouts&) override { return sessionOpens_; }
    bool openRequest(const std::string&, std::uint16_t, const std::string&, const std::string&) override {
        return requestOpens_;
    }
    bool exchange(const std::string&, std::string_view) override { return exchangeWorks_; }
    std::uint32_t statusCode() override { return status; }
    std::optional<std::size_t> bytesAvailable() override {
        if (next_ >= chunks_.size()) {
            if (availabilityFails_) return std::nullopt;
            return 0;
        }
        return chunks_[next_].announced;
    }
    std::optional<std::size_t> readInto(char* buffer, std::size_t size) override {
        if (next_ >= chunks_.size()) std::abort();  // read without anything announced
        const Chunk& chunk = chunks_[next_++];
        if (size != chunk.announced) std::abort();
        if (chunk.readFails) return std::nullopt;
        std::size_t copied = chunk.data.size() < size ? chunk.data.size() : size;
        chunk.data.copy(buffer, copied);
        delivered += copied;
        return chunk.claimed;
    }

private:
    bool sessionOpens_, requestOpens_, exchangeWorks_, availabilityFails_;
    std::vector<Chunk> chunks_;
    std::size_t next_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    InputReader input(data, size);
    FuzzConnection connection(input);
    HttpCall call{"https://clip.example", "token", "GET", "/api/me", {}, false};
    try {
        nlohmann::json answer = performRequest(connection, call);
        if (connection.status < 200 || connection.status > 299) std::abort();
        if (answer.is_discarded()) std::abort();
        nlohmann::json kept = answer;  // as a completion keeps it, one call per level
    } catch (const std::runtime_error& error) {
        if (std::string(error.what()).empty()) std::abort();
    } catch (const nlohmann::json::exception&) {
        // An error body of an unexpected shape: the runner turns it into a sentence.
    }
    if (connection.delivered > kMaxResponseBytes) std::abort();
    return 0;
}
