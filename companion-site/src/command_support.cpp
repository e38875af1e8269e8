#include "command_support.h"

#include <termios.h>
#include <unistd.h>

#include <fstream>
#include <iostream>
#include <stdexcept>

#include "accounts.h"
#include "http_server.h"

namespace site {
namespace {

// Reads a password without echo when a person is at the terminal.
std::string promptPassword(std::ostream& out) {
    termios saved{};
    tcgetattr(STDIN_FILENO, &saved);
    termios quiet = saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    std::string first, second;
    tcsetattr(STDIN_FILENO, TCSANOW, &quiet);
    out << "password: " << std::flush;
    std::getline(std::cin, first);
    out << "\nagain: " << std::flush;
    std::getline(std::cin, second);
    tcsetattr(STDIN_FILENO, TCSANOW, &saved);
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

std::string requireOption(const CommandLine& line, const std::string& name) {
    const std::string value = line.option(name);
    if (value.empty()) throw std::runtime_error("--" + name + " is required");
    return value;
}

void requireWords(const CommandLine& line, std::size_t count) {
    if (line.words.size() != count) throw std::runtime_error("wrong number of arguments");
}

int positiveNumber(const std::string& text, const char* what) {
    std::size_t used = 0;
    const int value = std::stoi(text, &used);
    if (used != text.size() || value <= 0) throw std::runtime_error(std::string(what) + " must be a positive number");
    return value;
}

StoreLocation storeLocation(const CommandLine& line) {
    StoreLocation location;
    location.database = line.option("database");
    location.connections = positiveNumber(
        line.option("database-connections", std::to_string(kDefaultDatabaseConnections)), "--database-connections");
    if (!location.database.empty()) {
        if (!isDatabaseUrl(location.database))
            throw std::runtime_error("--database takes a postgresql:// address such as postgresql://site@db.internal/site");
        return location;
    }
    const std::filesystem::path data = requireOption(line, "data");
    std::filesystem::create_directories(data);
    location.sqlitePath = databasePath(data).string();
    return location;
}

std::unique_ptr<Store> openStore(const CommandLine& line) {
    return openStore(storeLocation(line));
}

std::unique_ptr<ShotStorage> openShotStorage(const CommandLine& line, Store& store) {
    const std::string data = line.option("data");
    return store.shotStorage(data.empty() ? std::filesystem::temp_directory_path() : shotsFolder(data));
}

NewPassword newPassword(const CommandLine& line, std::istream& in, std::ostream& out) {
    if (!line.option("password-file").empty()) return {passwordFromFile(line.option("password-file"), in), false};
    if (&in == &std::cin && isatty(STDIN_FILENO)) return {promptPassword(out), false};
    return {generatePassword(), true};
}

}  // namespace site
