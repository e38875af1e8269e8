#pragma once
// The image files of shots, one per shot in one folder. A file is written
// under a temporary name as its bytes arrive, flushed to the disk and
// renamed into place, so a file under a shot's name is always complete.
// Bytes go in and out piece by piece: no shot is ever held whole in memory.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

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

// A stored shot's bytes, read piece by piece.
class ShotReader {
public:
    virtual ~ShotReader() = default;
    virtual std::uint64_t size() const = 0;
    // Up to `capacity` bytes; 0 at the end. Throws when the file fails.
    virtual std::size_t read(char* into, std::size_t capacity) = 0;
};

class ShotFiles {
public:
    // durable=false skips the flushes (for tests that do not crash).
    ShotFiles(std::filesystem::path folder, bool durable);

    std::unique_ptr<IncomingShot> receive();
    // Nothing when the shot has no file.
    std::unique_ptr<ShotReader> open(const std::string& id) const;
    void remove(const std::string& id);

    // Deletes temporary files and files of shots the store does not know,
    // left behind by a crash. Gives the number removed.
    int removeStrays(const std::function<bool(const std::string& id)>& known);

    std::filesystem::path pathOf(const std::string& id) const;

private:
    std::filesystem::path folder_;
    bool durable_;
};

}  // namespace site
