#pragma once
// The subcommands of clipvane-site.

#include <iosfwd>
#include <string>
#include <vector>

namespace site {

// Runs `arguments` (without the program name); gives the exit code.
int runCommand(const std::vector<std::string>& arguments, std::istream& in, std::ostream& out, std::ostream& err);

}  // namespace site
