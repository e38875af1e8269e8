#pragma once
// An owned file descriptor, and loops that write or read one whole.

#include <cstddef>
#include <filesystem>
#include <string_view>

namespace site {

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor();
    int get() const { return fd_; }
    // Closing can report a late write error, so it is checked.
    void close();

private:
    int fd_;
};

// Throws what failed on `path`, with the system's reason.
[[noreturn]] void failOn(const char* what, const std::filesystem::path& path);

void writeAll(int fd, std::string_view bytes, const std::filesystem::path& path);
// Reads until `capacity` bytes or the end of the file; gives how many.
std::size_t readFully(int fd, char* into, std::size_t capacity, const std::filesystem::path& path);

}  // namespace site
