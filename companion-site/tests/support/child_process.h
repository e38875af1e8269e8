#pragma once
// Programs started by tests, with their output on a pipe.

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

namespace site_test {

struct RunAs {
    uid_t uid;
    gid_t gid;
};

// Starts `arguments` with its standard output on a pipe and its error output
// in `errorFile` (or on the same pipe when empty); `input` goes to its input.
// With `runAs`, the program runs as that user.
pid_t startProgram(std::vector<std::string> arguments, const std::string& input, const std::string& errorFile,
                   int& outputRead, const std::optional<RunAs>& runAs = std::nullopt);
std::string readAll(int fd);
// Waits for the program's end: its exit code, or 128 plus the signal.
int exitStatus(pid_t pid);

struct ProgramResult {
    int exitCode = -1;
    std::string output;  // what it wrote to both standard output and error
};
ProgramResult runProgram(std::vector<std::string> arguments, const std::string& input = "",
                         const std::optional<RunAs>& runAs = std::nullopt);

}  // namespace site_test
