#pragma once
// What the subcommands share: checking their words and options, opening the
// store they name, and asking for a new password.

#include <iosfwd>
#include <memory>
#include <string>

#include "command_line.h"
#include "open_store.h"
#include "shot_storage.h"
#include "store.h"

namespace site {

std::string requireOption(const CommandLine& line, const std::string& name);
void requireWords(const CommandLine& line, std::size_t count);
int positiveNumber(const std::string& text, const char* what);

// The SQLite file in --data, or the PostgreSQL database in --database.
StoreLocation storeLocation(const CommandLine& line);
std::unique_ptr<Store> openStore(const CommandLine& line);
// Where the store keeps shot bytes: the shot folder in --data, or the
// database.
std::unique_ptr<ShotStorage> openShotStorage(const CommandLine& line, Store& store);

struct NewPassword {
    std::string text;
    bool generated = false;  // made here, so the command prints it
};

// From --password-file (a file's first line, or standard input for "-"),
// else asked twice at a terminal, else made up.
NewPassword newPassword(const CommandLine& line, std::istream& in, std::ostream& out);

}  // namespace site
