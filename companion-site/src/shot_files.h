#pragma once
// The image files of shots, one per shot in one folder. A file is written
// under a temporary name, flushed to the disk and renamed into place, so a
// file under a shot's name is always complete.

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace site {

class ShotFiles {
public:
    // durable=false skips the flushes (for tests that do not crash).
    ShotFiles(std::filesystem::path folder, bool durable);

    void write(const std::string& id, std::string_view bytes);
    std::optional<std::string> read(const std::string& id) const;
    void remove(const std::string& id);

    // Deletes temporary files and files of shots the store does not know,
    // left behind by a crash. Gives the number removed.
    int removeStrays(const std::function<bool(const std::string& id)>& known);

    std::filesystem::path pathOf(const std::string& id) const;

private:
    std::filesystem::path folder_;
    bool durable_;

    void syncFolder() const;
};

}  // namespace site
