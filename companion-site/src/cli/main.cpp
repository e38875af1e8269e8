// clipvane-site: the companion site's HTTPS server and the operator's
// commands. Every failure is one sentence on standard error after the
// program's name, with exit status 1.

#include <CLI/CLI.hpp>

#include <iostream>

#include "cli/commands.h"

int main(int argc, char** argv) {
    CLI::App program("The Clipvane companion site: its HTTPS server and the commands that manage it.",
                     "clipvane-site");
    // An option given twice takes its last value, so a script can override.
    program.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    program.require_subcommand(1);
    site::Console console{std::cin, std::cout, std::cerr};
    site::addServeCommand(program, console);
    site::addUserCommands(program, console);
    site::addNewsCommands(program, console);
    site::addBackupCommand(program, console);
    try {
        program.parse(argc, argv);
        return console.exitCode;
    } catch (const CLI::ParseError& error) {
        // --help: the help of the command it follows, on standard output.
        if (error.get_exit_code() == static_cast<int>(CLI::ExitCodes::Success))
            return program.exit(error, std::cout, std::cerr);
        std::cerr << "clipvane-site: " << error.what() << "\nRun with --help for more information.\n";
        return 1;
    } catch (const std::exception& error) {
        std::cerr << "clipvane-site: " << error.what() << '\n';
        return 1;
    }
}
