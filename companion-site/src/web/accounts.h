#pragma once
// People and their passwords, and the link codes they hand to a device.

#include <cstdint>
#include <optional>
#include <string>

#include "storage/store.h"

namespace site {

// PBKDF2-HMAC-SHA256; each user row keeps the count it was hashed with.
inline constexpr int kPasswordIterations = 600000;
inline constexpr std::size_t kMaxPasswordBytes = 1024;

// 1 to 32 characters: Latin letters, digits, ".", "_" and "-".
bool isValidUserName(const std::string& name);

// 1 to kMaxPasswordBytes bytes.
bool isAcceptablePassword(const std::string& password);

// Throws a plain-English runtime error for a bad or taken name.
std::int64_t createUser(Store& store, const std::string& name, const std::string& password, bool pro,
                        std::int64_t now, int iterations = kPasswordIterations);

// Hashes `password` with a new salt for the user and ends every session of
// the user but `keptSession` (none when empty). Throws a plain-English
// runtime error for an unacceptable password.
void setPassword(Store& store, std::int64_t userId, const std::string& password, const std::string& keptSession,
                 int iterations = kPasswordIterations);

// The record the password matched. Costs the same time whether or not the
// name exists: for an unknown name a hash with `unknownIterations` is made
// and thrown away.
std::optional<PasswordRecord> checkPassword(Store& store, const std::string& name, const std::string& password,
                                  int unknownIterations = kPasswordIterations);

// 16 characters from an alphabet without look-alikes.
std::string generatePassword();

// A new code for the user, valid for 10 minutes, in place of any earlier
// one; only its hash is stored. Asked for from a session (its hash), ""
// when the session has ended.
std::string issueLinkCode(Store& store, std::int64_t userId, std::int64_t now, const std::string& sessionHash = "");

}  // namespace site
