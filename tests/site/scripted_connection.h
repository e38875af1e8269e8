#pragma once
// A network that answers from a script and remembers what it was asked.

#include <deque>
#include <string>
#include <vector>

#include "site/http_exchange.h"

struct ScriptedChunk {
    std::string data;
    bool readFails = false;
};

class ScriptedConnection : public HttpConnection {
public:
    // Script
    bool sessionOpens = true;
    bool requestOpens = true;
    bool exchangeWorks = true;
    std::uint32_t status = 200;
    std::deque<ScriptedChunk> chunks;
    bool availabilityFails = false;  // after the chunks are used up

    // What happened
    std::vector<std::string> steps;
    HttpTimeouts timeouts{};
    std::string host;
    std::uint16_t port = 0;
    std::string method;
    std::string path;
    std::string headers;
    std::string sentBody;
    int reads = 0;

    void answer(std::uint32_t code, const std::string& body) {
        status = code;
        if (!body.empty()) chunks.push_back({body});
    }

    bool openSession(const HttpTimeouts& given) override {
        steps.push_back("session");
        timeouts = given;
        return sessionOpens;
    }
    bool openRequest(const std::string& h, std::uint16_t p, const std::string& m, const std::string& pa) override {
        steps.push_back("request");
        host = h;
        port = p;
        method = m;
        path = pa;
        return requestOpens;
    }
    bool exchange(const std::string& h, std::string_view body) override {
        steps.push_back("exchange");
        headers = h;
        sentBody = body;
        return exchangeWorks;
    }
    std::uint32_t statusCode() override {
        steps.push_back("status");
        return status;
    }
    std::optional<std::size_t> bytesAvailable() override {
        if (chunks.empty()) {
            if (availabilityFails) return std::nullopt;
            return 0;
        }
        return chunks.front().data.size();
    }
    std::optional<std::size_t> readInto(char* buffer, std::size_t size) override {
        ++reads;
        ScriptedChunk chunk = std::move(chunks.front());
        chunks.pop_front();
        if (chunk.readFails) return std::nullopt;
        std::size_t count = std::min(size, chunk.data.size());
        chunk.data.copy(buffer, count);
        return count;
    }
};
