#include "shot_files.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "secrets.h"

namespace site {
namespace {

constexpr char kShotSuffix[] = ".png";
constexpr char kTemporaryPrefix[] = "incoming-";

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    int get() const { return fd_; }
    // Closing can report a late write error, so it is checked.
    void close() {
        const int fd = fd_;
        fd_ = -1;
        if (::close(fd) != 0) throw std::runtime_error(std::string("close: ") + std::strerror(errno));
    }

private:
    int fd_;
};

[[noreturn]] void fail(const char* what, const std::filesystem::path& path) {
    throw std::runtime_error(std::string(what) + " " + path.string() + ": " + std::strerror(errno));
}

void writeAll(int fd, std::string_view bytes, const std::filesystem::path& path) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) fail("write", path);
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
}

}  // namespace

ShotFiles::ShotFiles(std::filesystem::path folder, bool durable) : folder_(std::move(folder)), durable_(durable) {
    std::filesystem::create_directories(folder_);
}

std::filesystem::path ShotFiles::pathOf(const std::string& id) const {
    return folder_ / (id + kShotSuffix);
}

void ShotFiles::write(const std::string& id, std::string_view bytes) {
    const std::filesystem::path temporary = folder_ / (kTemporaryPrefix + toHex(randomBytes(8)));
    try {
        FileDescriptor file(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0640));
        if (file.get() < 0) fail("create", temporary);
        writeAll(file.get(), bytes, temporary);
        if (durable_ && ::fsync(file.get()) != 0) fail("fsync", temporary);
        file.close();
        std::filesystem::rename(temporary, pathOf(id));
    } catch (...) {
        std::error_code ignored;
        std::filesystem::remove(temporary, ignored);
        throw;
    }
    syncFolder();
}

void ShotFiles::syncFolder() const {
    if (!durable_) return;
    FileDescriptor folder(::open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.get() < 0 || ::fsync(folder.get()) != 0) fail("fsync", folder_);
}

std::optional<std::string> ShotFiles::read(const std::string& id) const {
    std::ifstream in(pathOf(id), std::ios::binary);
    if (!in) return std::nullopt;
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) return std::nullopt;
    return bytes;
}

void ShotFiles::remove(const std::string& id) {
    std::error_code ignored;
    std::filesystem::remove(pathOf(id), ignored);
}

int ShotFiles::removeStrays(const std::function<bool(const std::string& id)>& known) {
    int removed = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder_)) {
        const std::string name = entry.path().filename().string();
        const bool isShot = entry.path().extension() == kShotSuffix && isShotId(entry.path().stem().string());
        const bool stray = name.starts_with(kTemporaryPrefix) || (isShot && !known(entry.path().stem().string()));
        std::error_code ignored;
        if (stray && std::filesystem::remove(entry.path(), ignored)) ++removed;
    }
    return removed;
}

}  // namespace site
