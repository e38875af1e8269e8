#include "storage/json_depth.h"

#include <cstddef>
#include <string>

#include <nlohmann/json.hpp>

namespace {

using nlohmann::json;

// Counts open objects and arrays and stops the parse at the first level too
// many, before anything of it is built.
class DepthGauge {
public:
    bool null() { return true; }
    bool boolean(bool) { return true; }
    bool number_integer(json::number_integer_t) { return true; }
    bool number_unsigned(json::number_unsigned_t) { return true; }
    bool number_float(json::number_float_t, const json::string_t&) { return true; }
    bool string(json::string_t&) { return true; }
    bool binary(json::binary_t&) { return true; }
    bool key(json::string_t&) { return true; }
    bool start_object(std::size_t) { return enter(); }
    bool start_array(std::size_t) { return enter(); }
    bool end_object() { return leave(); }
    bool end_array() { return leave(); }
    bool parse_error(std::size_t, const std::string&, const json::exception&) { return false; }

    bool tooDeep() const { return tooDeep_; }

private:
    bool enter() {
        tooDeep_ = ++depth_ > kMaxJsonDepth;
        return !tooDeep_;
    }
    bool leave() {
        --depth_;
        return true;
    }

    int depth_ = 0;
    bool tooDeep_ = false;
};

}  // namespace

bool jsonDepthWithinLimit(std::string_view text) {
    DepthGauge gauge;
    json::sax_parse(text.begin(), text.end(), &gauge, json::input_format_t::json, false);
    return !gauge.tooDeep();
}
