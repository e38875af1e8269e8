#pragma once
// The subcommands of clipvane-site. Each adds itself to the program's
// command line with its options and its own --help, and runs from there;
// it fails by throwing a plain-English error.

#include <iosfwd>
#include <memory>

#include "cli/store_options.h"

namespace site {

// Where the commands read and write, and the exit code of one that ends
// without an error yet not with 0 (a server that could not start).
struct Console {
    std::istream& in;
    std::ostream& out;
    std::ostream& err;
    int exitCode = 0;
};

// How the commands' lists write a time.
inline constexpr char kListTime[] = "%Y-%m-%d %H:%M UTC";

// A subcommand of `parent` on the store `given->store` names; once the
// command line is read it runs `run` with what `given` holds.
template <typename Arguments>
CLI::App& addCommand(CLI::App& parent, const char* name, const char* about, const std::shared_ptr<Arguments>& given,
                     Console& console, void (*run)(const Arguments&, Console&)) {
    return addStoreCommand(parent, name, about, given->store, [given, &console, run] { run(*given, console); });
}

void addServeCommand(CLI::App& program, Console& console);
// user add | list | set | password | remove, and code
void addUserCommands(CLI::App& program, Console& console);
// news add | list | remove
void addNewsCommands(CLI::App& program, Console& console);
void addBackupCommand(CLI::App& program, Console& console);

}  // namespace site
