#include "storage/settings_format.h"

#include <sstream>
#include <stdexcept>

#include "storage/json_depth.h"

using nlohmann::json;

namespace {

std::uint8_t tokenByte(const json& element) {
    if (element.is_number_integer()) {
        return static_cast<std::uint8_t>(element.get<std::int64_t>());
    }
    if (element.is_number_float()) {
        double value = element.get<double>();
        if (value >= 0.0 && value < 256.0) return static_cast<std::uint8_t>(value);
    }
    throw std::runtime_error("token");
}

std::vector<std::uint8_t> tokenBytes(const json& token) {
    if (!token.is_array()) throw std::runtime_error("token");
    std::vector<std::uint8_t> bytes;
    bytes.reserve(token.size());
    for (const json& element : token) bytes.push_back(tokenByte(element));
    return bytes;
}

}  // namespace

ParsedSettings parseSettings(std::string_view text) {
    json doc;
    try {
        // Too deep to be settings, and too deep to write back safely.
        if (!jsonDepthWithinLimit(text)) throw std::runtime_error("depth");
        std::istringstream stream{std::string(text)};
        stream >> doc;  // the first value only; the rest of the text is ignored
    } catch (const std::exception&) {
        ParsedSettings result;
        result.unreadable = true;
        return result;
    }
    return readSettingsDoc(std::move(doc));
}

ParsedSettings readSettingsDoc(json doc) {
    ParsedSettings result;
    try {
        if (doc.is_object()) {
            result.doc = std::move(doc);
        } else {
            result.unreadable = true;  // not settings; kept aside, not overwritten
        }
        if (result.doc.contains("server")) {
            result.server = result.doc.at("server").get<std::string>();
        }
        if (result.doc.contains("token")) {
            result.tokenBlob = tokenBytes(result.doc.at("token"));
        }
    } catch (const std::exception&) {
        // The server value read before the failure stays in effect; the
        // document and any token are dropped, as an unreadable file gives.
        result.doc = json::object();
        result.tokenBlob.reset();
        result.unreadable = true;
    }
    return result;
}

std::string serializeSettings(const json& doc) {
    return doc.dump(2);
}

json tokenArray(const std::vector<std::uint8_t>& blob) {
    json array = json::array();
    for (std::uint8_t byte : blob) array.push_back(byte);
    return array;
}
