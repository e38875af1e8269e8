#pragma once
// The operator's commands on users and news. Each says what it did in one
// line, or throws a plain-English error for an unknown name or id.

#include <iosfwd>

#include "command_line.h"

namespace site {

// user add | list | set | password | remove
int userCommand(const CommandLine& line, std::istream& in, std::ostream& out);
// news add | list | remove
int newsCommand(const CommandLine& line, std::ostream& out);

}  // namespace site
