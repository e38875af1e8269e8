#include "web/accounts.h"

#include <algorithm>
#include <stdexcept>

#include "security/link_code.h"
#include "security/secrets.h"

namespace site {
namespace {

constexpr std::size_t kSaltBytes = 16;
constexpr std::size_t kMaxNameLength = 32;
constexpr std::string_view kPasswordAlphabet = "abcdefghijkmnpqrstuvwxyzACDEFHJKLMNPRTUVWXY3479";

bool isNameChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '_' ||
           c == '-';
}

}  // namespace

bool isValidUserName(const std::string& name) {
    return !name.empty() && name.size() <= kMaxNameLength && std::all_of(name.begin(), name.end(), isNameChar);
}

bool isAcceptablePassword(const std::string& password) {
    return !password.empty() && password.size() <= kMaxPasswordBytes;
}

namespace {

void requireAcceptable(const std::string& password) {
    if (!isAcceptablePassword(password)) throw std::runtime_error("a password is 1 to 1024 bytes long");
}

}  // namespace

std::int64_t createUser(Store& store, const std::string& name, const std::string& password, bool pro,
                        std::int64_t now, int iterations) {
    if (!isValidUserName(name))
        throw std::runtime_error("a user name is 1 to 32 Latin letters, digits, '.', '_' or '-'");
    requireAcceptable(password);
    if (store.userByName(name)) throw std::runtime_error("the user " + name + " already exists");
    const std::string salt = randomBytes(kSaltBytes);
    return store.addUser(name, pro, salt, pbkdf2Sha256(password, salt, iterations), iterations, now);
}

void setPassword(Store& store, std::int64_t userId, const std::string& password, const std::string& keptSession,
                 int iterations) {
    requireAcceptable(password);
    const std::string salt = randomBytes(kSaltBytes);
    store.setPassword(userId, salt, pbkdf2Sha256(password, salt, iterations), iterations, keptSession);
}

std::optional<PasswordRecord> checkPassword(Store& store, const std::string& name, const std::string& password,
                                  int unknownIterations) {
    if (password.size() > kMaxPasswordBytes) return std::nullopt;
    const auto record = store.passwordOf(name);
    if (!record) {
        // Same work as a real check, so timing does not tell which names exist.
        pbkdf2Sha256(password, std::string(kSaltBytes, '\0'), unknownIterations);
        return std::nullopt;
    }
    if (!constantTimeEqual(pbkdf2Sha256(password, record->salt, record->iterations), record->hash)) return std::nullopt;
    return record;
}

std::string generatePassword() {
    return randomText(kPasswordAlphabet, 16);
}

std::string issueLinkCode(Store& store, std::int64_t userId, std::int64_t now, const std::string& sessionHash) {
    const std::string code = newLinkCode();
    return store.replaceLinkCode(userId, sha256Hex(code), now + kLinkCodeLifetimeSeconds, sessionHash) ? code : "";
}

}  // namespace site
