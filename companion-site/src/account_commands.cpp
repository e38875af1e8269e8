#include "account_commands.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cstdio>
#include <ostream>
#include <stdexcept>

#include "accounts.h"
#include "command_support.h"
#include "html.h"
#include "quota.h"
#include "site.h"

namespace site {
namespace {

constexpr char kListTime[] = "%Y-%m-%d %H:%M UTC";

User existingUser(Store& store, const std::string& name) {
    auto user = store.userByName(name);
    if (!user) throw std::runtime_error("no user " + name);
    return *user;
}

std::string plural(std::size_t count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

int addUser(const CommandLine& line, std::istream& in, std::ostream& out) {
    const auto store = openStore(line);
    const NewPassword password = newPassword(line, in, out);
    createUser(*store, line.words[2], password.text, line.flag("pro"), systemClock());
    out << "added " << line.words[2] << (line.flag("pro") ? " (PRO)" : "") << '\n';
    if (password.generated) out << "password: " << password.text << '\n';
    return 0;
}

int listUsers(const CommandLine& line, std::ostream& out) {
    const auto users = openStore(line)->users(utcDay(systemClock()));
    if (users.empty()) {
        out << "no users\n";
        return 0;
    }
    int width = 4;
    for (const UserSummary& summary : users) width = std::max(width, static_cast<int>(summary.user.name.size()));
    char row[160];
    std::snprintf(row, sizeof row, "%-*s  %-4s  %7s  %5s  %5s  %s\n", width, "NAME", "PLAN", "DEVICES", "TODAY",
                  "SHOTS", "CREATED");
    out << row;
    for (const UserSummary& summary : users) {
        std::snprintf(row, sizeof row, "%-*s  %-4s  %7d  %5d  %5d  %s\n", width, summary.user.name.c_str(),
                      summary.user.pro ? "PRO" : "FREE", summary.devices, summary.uploadsToday, summary.shots,
                      formatUtcTime(summary.createdAt, kListTime).c_str());
        out << row;
    }
    return 0;
}

int setPlan(const CommandLine& line, std::ostream& out) {
    if (line.flag("pro") == line.flag("free")) throw std::runtime_error("user set takes either --pro or --free");
    const auto store = openStore(line);
    const User user = existingUser(*store, line.words[2]);
    if (!store->setPlan(user.id, line.flag("pro"))) throw std::runtime_error("no user " + user.name);
    out << user.name << " is now " << (line.flag("pro") ? "PRO" : "FREE") << '\n';
    return 0;
}

// A reset: every session of the user ends, linked devices keep working.
int resetPassword(const CommandLine& line, std::istream& in, std::ostream& out) {
    const auto store = openStore(line);
    const User user = existingUser(*store, line.words[2]);
    const NewPassword password = newPassword(line, in, out);
    setPassword(*store, user.id, password.text, "");
    out << "new password for " << user.name << ", every session of " << user.name << " ended\n";
    if (password.generated) out << "password: " << password.text << '\n';
    return 0;
}

// Rows first, in one step, so the user's links answer 404 at once; then the
// shots' bytes.
int removeUser(const CommandLine& line, std::ostream& out) {
    const std::string& name = line.words[2];
    if (!line.flag("yes"))
        throw std::runtime_error("user remove deletes " + name + "'s shots, devices and sessions for good; add --yes");
    const auto store = openStore(line);
    const User user = existingUser(*store, name);
    const std::size_t devices = store->devicesOf(user.id).size();
    const std::vector<std::string> shots = store->removeUser(user.id);
    const auto storage = openShotStorage(line, *store);
    for (const std::string& id : shots) storage->remove(id);
    out << "removed " << name << " with " << plural(shots.size(), "shot", "shots") << " and "
        << plural(devices, "device", "devices") << '\n';
    return 0;
}

std::int64_t newsId(const std::string& text) {
    std::int64_t id = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), id);
    if (error != std::errc() || end != text.data() + text.size()) throw std::runtime_error("no news item " + text);
    return id;
}

int addNews(const CommandLine& line, std::ostream& out) {
    openStore(line)->addNews(line.words[2], line.words[3], systemClock());
    out << "news added\n";
    return 0;
}

int listNews(const CommandLine& line, std::ostream& out) {
    const auto items = openStore(line)->latestNews(INT_MAX);
    if (items.empty()) out << "no news\n";
    for (const NewsItem& item : items)
        out << item.id << "  " << formatUtcTime(item.createdAt, kListTime) << "  " << item.title << '\n';
    return 0;
}

int removeNews(const CommandLine& line, std::ostream& out) {
    const std::int64_t id = newsId(line.words[2]);
    if (!openStore(line)->removeNews(id)) throw std::runtime_error("no news item " + line.words[2]);
    out << "removed news item " << id << '\n';
    return 0;
}

}  // namespace

int userCommand(const CommandLine& line, std::istream& in, std::ostream& out) {
    const std::string verb = line.words.size() > 1 ? line.words[1] : "";
    requireWords(line, verb == "list" ? 2 : 3);
    if (verb == "add") return addUser(line, in, out);
    if (verb == "list") return listUsers(line, out);
    if (verb == "set") return setPlan(line, out);
    if (verb == "password") return resetPassword(line, in, out);
    if (verb == "remove") return removeUser(line, out);
    throw std::runtime_error("unknown user command " + verb);
}

int newsCommand(const CommandLine& line, std::ostream& out) {
    const std::string verb = line.words.size() > 1 ? line.words[1] : "";
    requireWords(line, verb == "add" ? 4 : verb == "list" ? 2 : 3);
    if (verb == "add") return addNews(line, out);
    if (verb == "list") return listNews(line, out);
    if (verb == "remove") return removeNews(line, out);
    throw std::runtime_error("unknown news command " + verb);
}

}  // namespace site
