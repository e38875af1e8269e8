#pragma once
// The password of a new user or of a reset.

#include <iosfwd>
#include <string>

namespace site {

struct NewPassword {
    std::string text;
    bool generated = false;  // made here, so the command prints it
};

// From `passwordFile` (its first line, or standard input for "-"), else
// asked twice at a terminal, else made up.
NewPassword newPassword(const std::string& passwordFile, std::istream& in, std::ostream& out);

}  // namespace site
