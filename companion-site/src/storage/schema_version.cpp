#include "storage/schema_version.h"

#include <stdexcept>
#include <string>

namespace site {

void requireKnownSchema(int found) {
    if (found <= kSchemaVersion) return;
    throw std::runtime_error("the database has schema version " + std::to_string(found) +
                             ", newer than this clipvane-site knows (" + std::to_string(kSchemaVersion) +
                             "); run the newer clipvane-site");
}

}  // namespace site
