#include "cli/new_password.h"

#include <termios.h>
#include <unistd.h>

#include <fstream>
#include <iostream>
#include <stdexcept>

#include "web/accounts.h"

namespace site {
namespace {

// The terminal without echo for as long as it lives.
class QuietTerminal {
public:
    QuietTerminal() {
        tcgetattr(STDIN_FILENO, &saved_);
        termios quiet = saved_;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        tcsetattr(STDIN_FILENO, TCSANOW, &quiet);
    }
    QuietTerminal(const QuietTerminal&) = delete;
    QuietTerminal& operator=(const QuietTerminal&) = delete;
    ~QuietTerminal() { tcsetattr(STDIN_FILENO, TCSANOW, &saved_); }

private:
    termios saved_{};
};

// Reads a password without echo when a person is at the terminal.
std::string promptPassword(std::ostream& out) {
    std::string first, second;
    {
        const QuietTerminal quiet;
        out << "password: " << std::flush;
        std::getline(std::cin, first);
        out << "\nagain: " << std::flush;
        std::getline(std::cin, second);
    }
    out << '\n';
    if (first != second) throw std::runtime_error("the passwords differ");
    return first;
}

std::string passwordFromFile(const std::string& path, std::istream& in) {
    std::string password;
    if (path == "-") {
        std::getline(in, password);
    } else {
        std::ifstream file(path);
        if (!file) throw std::runtime_error("cannot read " + path);
        std::getline(file, password);
    }
    if (password.ends_with('\r')) password.pop_back();
    return password;
}

}  // namespace

NewPassword newPassword(const std::string& passwordFile, std::istream& in, std::ostream& out) {
    if (!passwordFile.empty()) return {passwordFromFile(passwordFile, in), false};
    if (&in == &std::cin && isatty(STDIN_FILENO)) return {promptPassword(out), false};
    return {generatePassword(), true};
}

}  // namespace site
