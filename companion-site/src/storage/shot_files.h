#pragma once
// The image files of shots, one per shot in one folder. A file is written
// under a temporary name as its bytes arrive, flushed to the disk and
// renamed into place, so a file under a shot's name is always complete.
// Bytes go in and out piece by piece: no shot is ever held whole in memory.

#include <cstdint>
#include <filesystem>

#include "storage/shot_storage.h"

namespace site {

class ShotFiles final : public ShotStorage {
public:
    // durable=false skips the flushes (for tests that do not crash).
    ShotFiles(std::filesystem::path folder, bool durable);

    std::unique_ptr<IncomingShot> receive() override;
    std::unique_ptr<ByteSource> open(const std::string& id) const override;
    void remove(const std::string& id) override;

    // Temporary files count as strays too.
    int removeStrays(const std::function<bool(const std::string& id)>& known) override;

    std::filesystem::path pathOf(const std::string& id) const;

private:
    std::filesystem::path folder_;
    bool durable_;
};

}  // namespace site
