#include "storage/shot_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "base/file_descriptor.h"
#include "security/secrets.h"

namespace site {
namespace {

constexpr char kShotSuffix[] = ".png";
constexpr char kTemporaryPrefix[] = "incoming-";

void syncFolder(const std::filesystem::path& folder) {
    FileDescriptor handle(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (handle.get() < 0 || ::fsync(handle.get()) != 0) failOn("fsync", folder);
}

class IncomingShotFile final : public IncomingShot {
public:
    IncomingShotFile(std::filesystem::path temporary, std::filesystem::path folder, bool durable)
        : temporary_(std::move(temporary)),
          folder_(std::move(folder)),
          durable_(durable),
          file_(::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0640)) {
        if (file_.get() < 0) failOn("create", temporary_);
    }

    ~IncomingShotFile() override {
        if (kept_) return;
        std::error_code ignored;
        std::filesystem::remove(temporary_, ignored);
    }

    void write(std::string_view bytes) override { writeAll(file_.get(), bytes, temporary_); }

    void keep(const std::string& id) override {
        if (durable_ && ::fsync(file_.get()) != 0) failOn("fsync", temporary_);
        file_.close();
        std::filesystem::rename(temporary_, folder_ / (id + kShotSuffix));
        kept_ = true;
        if (durable_) syncFolder(folder_);
    }

private:
    std::filesystem::path temporary_;
    std::filesystem::path folder_;
    bool durable_;
    FileDescriptor file_;
    bool kept_ = false;
};

class ShotFileReader final : public ByteSource {
public:
    ShotFileReader(int fd, std::uint64_t size, std::filesystem::path path)
        : file_(fd), size_(size), path_(std::move(path)) {}

    std::uint64_t size() const override { return size_; }

    std::size_t read(char* into, std::size_t capacity) override {
        for (;;) {
            const ssize_t got = ::read(file_.get(), into, capacity);
            if (got >= 0) return static_cast<std::size_t>(got);
            if (errno != EINTR) failOn("read", path_);
        }
    }

private:
    FileDescriptor file_;
    std::uint64_t size_;
    std::filesystem::path path_;
};

}  // namespace

ShotFiles::ShotFiles(std::filesystem::path folder, bool durable) : folder_(std::move(folder)), durable_(durable) {
    std::filesystem::create_directories(folder_);
}

std::filesystem::path ShotFiles::pathOf(const std::string& id) const {
    return folder_ / (id + kShotSuffix);
}

std::unique_ptr<IncomingShot> ShotFiles::receive() {
    return std::make_unique<IncomingShotFile>(folder_ / (kTemporaryPrefix + toHex(randomBytes(8))), folder_, durable_);
}

std::unique_ptr<ByteSource> ShotFiles::open(const std::string& id) const {
    const std::filesystem::path path = pathOf(id);
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct stat about {};
    if (::fstat(fd, &about) != 0) {
        ::close(fd);
        failOn("stat", path);
    }
    return std::make_unique<ShotFileReader>(fd, static_cast<std::uint64_t>(about.st_size), path);
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
