#pragma once
// Where the bytes of shots live: one file per shot in a folder beside the
// SQLite store, or the database itself with PostgreSQL, where every instance
// sees them. Bytes go in and out piece by piece, never a whole shot in
// memory; they are durable before the shot's row is written, and removed
// after it.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "base/byte_stream.h"

namespace site {

// A shot's bytes on their way in. Dropped without keep(), it leaves nothing.
class IncomingShot {
public:
    virtual ~IncomingShot() = default;
    virtual void write(std::string_view bytes) = 0;
    // Makes the bytes durable under `id`; once it returns, the shot is whole
    // and survives a crash.
    virtual void keep(const std::string& id) = 0;
};

class ShotStorage {
public:
    virtual ~ShotStorage() = default;

    virtual std::unique_ptr<IncomingShot> receive() = 0;
    // The shot's bytes, read piece by piece; nothing when it has none.
    virtual std::unique_ptr<ByteSource> open(const std::string& id) const = 0;
    virtual void remove(const std::string& id) = 0;
    // Deletes what a crash left: bytes of shots the store does not know.
    // Gives the number of shots whose bytes were removed.
    virtual int removeStrays(const std::function<bool(const std::string& id)>& known) = 0;
};

}  // namespace site
