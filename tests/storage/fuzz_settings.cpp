// Any bytes as settings.json: loading never fails, a loaded document can be
// written and read back unchanged, and the history readers and the recorder
// accept whatever the document holds.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "storage/capture_log.h"
#include "storage/settings_format.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    ParsedSettings parsed = parseSettings(text);
    if (!parsed.doc.is_object() || (parsed.unreadable && !parsed.doc.empty())) std::abort();

    std::string written;
    try {
        written = serializeSettings(parsed.doc);
    } catch (const nlohmann::json::type_error&) {
        return 0;  // text that is not UTF-8 is refused, not written
    }
    ParsedSettings again = parseSettings(written);
    if (again.unreadable || again.doc != parsed.doc || serializeSettings(again.doc) != written) std::abort();

    std::string key(text.substr(0, size < 10 ? size : 10));
    int before = countOnDayIn(parsed.doc, key);
    recordCaptureIn(parsed.doc, key, "2026-01-01");
    int after = countOnDayIn(parsed.doc, key);
    if (key >= "2026-01-01" && after != (before == INT32_MAX ? before : before + 1)) std::abort();
    return 0;
}
