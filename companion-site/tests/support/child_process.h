#pragma once
// Programs started by tests, with their output on a pipe.

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>
#include <string>
#include <vector>

namespace site_test {

// Starts `arguments` with its standard output on a pipe and its error output
// in `errorFile` (or on the same pipe when empty); `input` goes to its input.
// With `runAs`, the program runs as that user.
inline pid_t startProgram(std::vector<std::string> arguments, const std::string& input, const std::string& errorFile,
                          int& outputRead, const passwd* runAs = nullptr) {
    // Everything the child needs is made before the fork: it may only make
    // plain system calls until exec.
    std::vector<char*> pointers;
    for (auto& argument : arguments) pointers.push_back(argument.data());
    pointers.push_back(nullptr);
    int output[2], feed[2];
    if (::pipe2(output, O_CLOEXEC) != 0 || ::pipe2(feed, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    const pid_t pid = ::fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        ::dup2(feed[0], STDIN_FILENO);
        ::dup2(output[1], STDOUT_FILENO);
        ::dup2(errorFile.empty() ? output[1] : ::open(errorFile.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600),
               STDERR_FILENO);
        if (runAs && (::setgroups(0, nullptr) != 0 || ::setgid(runAs->pw_gid) != 0 || ::setuid(runAs->pw_uid) != 0))
            ::_exit(126);
        ::execv(pointers[0], pointers.data());
        ::_exit(127);
    }
    ::close(output[1]);
    ::close(feed[0]);
    if (!input.empty() && ::write(feed[1], input.data(), input.size()) < 0) throw std::runtime_error("write failed");
    ::close(feed[1]);
    outputRead = output[0];
    return pid;
}

inline std::string readAll(int fd) {
    std::string text;
    char buffer[4096];
    for (ssize_t got; (got = ::read(fd, buffer, sizeof buffer)) > 0;) text.append(buffer, static_cast<std::size_t>(got));
    return text;
}

// Waits for the program's end: its exit code, or 128 plus the signal.
inline int exitStatus(pid_t pid) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) continue;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

struct ProgramResult {
    int exitCode = -1;
    std::string output;  // what it wrote to both standard output and error
};

inline ProgramResult runProgram(std::vector<std::string> arguments, const std::string& input = "",
                                const passwd* runAs = nullptr) {
    int output = -1;
    const pid_t pid = startProgram(std::move(arguments), input, "", output, runAs);
    ProgramResult result{-1, readAll(output)};
    ::close(output);
    result.exitCode = exitStatus(pid);
    return result;
}

}  // namespace site_test
