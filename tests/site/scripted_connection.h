#pragma once
// A network that answers from a script and remembers what it was asked.

#include <algorithm>
#include <deque>
#include <string>
#include <vector>

#include "site/http_exchange.h"

struct ScriptedChunk {
    std::string data;
    bool readFails = false;
    std::optional<std::size_t> announced;  // what bytesAvailable says; the data's size when unset
    std::optional<std::size_t> claimed;    // what readInto says it read; the bytes copied when unset
    std::size_t announcedSize() const { return announced.value_or(data.size()); }
};

class ScriptedConnection : public HttpConnection {
public:
    std::string failingStep;  // "session", "request" or "exchange"
    std::uint32_t status = 200;
    std::deque<ScriptedChunk> chunks;
    bool availabilityFails = false;  // once the chunks are used up

    // What happened
    std::vector<std::string> steps;
    int reads = 0;
    std::size_t delivered = 0;
    bool misread = false;  // a read of another size than announced, or of nothing announced

    bool openSession(const HttpTimeouts&) override { return step("session"); }
    bool openRequest(const std::string&, std::uint16_t, const std::string&, const std::string&) override {
        return step("request");
    }
    bool exchange(const std::string&, std::string_view) override { return step("exchange"); }
    std::uint32_t statusCode() override {
        step("status");
        return status;
    }
    std::optional<std::size_t> bytesAvailable() override {
        if (chunks.empty()) return availabilityFails ? std::nullopt : std::optional<std::size_t>(0);
        return chunks.front().announcedSize();
    }
    std::optional<std::size_t> readInto(char* buffer, std::size_t size) override {
        ++reads;
        misread = misread || chunks.empty() || size != chunks.front().announcedSize();
        if (misread) return std::nullopt;
        ScriptedChunk chunk = std::move(chunks.front());
        chunks.pop_front();
        if (chunk.readFails) return std::nullopt;
        std::size_t count = std::min(size, chunk.data.size());
        chunk.data.copy(buffer, count);
        delivered += count;
        return chunk.claimed.value_or(count);
    }

private:
    bool step(const char* name) {
        steps.push_back(name);
        return failingStep != name;
    }
};
