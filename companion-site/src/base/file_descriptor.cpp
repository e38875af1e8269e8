#include "base/file_descriptor.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>

namespace site {

FileDescriptor::~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
}

void FileDescriptor::close() {
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) throw std::runtime_error(std::string("close: ") + std::strerror(errno));
}

void failOn(const char* what, const std::filesystem::path& path) {
    throw std::runtime_error(std::string(what) + " " + path.string() + ": " + std::strerror(errno));
}

void writeAll(int fd, std::string_view bytes, const std::filesystem::path& path) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) failOn("write", path);
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
}

std::size_t readFully(int fd, char* into, std::size_t capacity, const std::filesystem::path& path) {
    std::size_t got = 0;
    while (got < capacity) {
        const ssize_t read = ::read(fd, into + got, capacity - got);
        if (read < 0 && errno == EINTR) continue;
        if (read < 0) failOn("read", path);
        if (read == 0) break;
        got += static_cast<std::size_t>(read);
    }
    return got;
}

}  // namespace site
