// The operator's commands on users. Each says what it did in one line, or
// throws a plain-English error for an unknown name.

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <ostream>
#include <stdexcept>

#include "base/clock.h"
#include "base/utc_time.h"
#include "cli/commands.h"
#include "cli/new_password.h"
#include "cli/store_options.h"
#include "security/link_code.h"
#include "web/accounts.h"
#include "web/quota.h"

namespace site {
namespace {

struct UserArguments {
    StoreOptions store;
    std::string name;
    bool pro = false;
    bool free = false;
    bool yes = false;
    std::string passwordFile;
};

User existingUser(Store& store, const std::string& name) {
    auto user = store.userByName(name);
    if (!user) throw std::runtime_error("no user " + name);
    return *user;
}

std::string plural(std::size_t count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

void addUser(const UserArguments& given, Console& console) {
    const auto store = openStore(given.store);
    const NewPassword password = newPassword(given.passwordFile, console.in, console.out);
    createUser(*store, given.name, password.text, given.pro, systemClock());
    console.out << "added " << given.name << (given.pro ? " (PRO)" : "") << '\n';
    if (password.generated) console.out << "password: " << password.text << '\n';
}

void listUsers(const UserArguments& given, Console& console) {
    const auto users = openStore(given.store)->users(utcDay(systemClock()));
    if (users.empty()) {
        console.out << "no users\n";
        return;
    }
    int width = 4;
    for (const UserSummary& summary : users) width = std::max(width, static_cast<int>(summary.user.name.size()));
    char row[160];
    std::snprintf(row, sizeof row, "%-*s  %-4s  %7s  %5s  %5s  %s\n", width, "NAME", "PLAN", "DEVICES", "TODAY",
                  "SHOTS", "CREATED");
    console.out << row;
    for (const UserSummary& summary : users) {
        std::snprintf(row, sizeof row, "%-*s  %-4s  %7d  %5d  %5d  %s\n", width, summary.user.name.c_str(),
                      summary.user.pro ? "PRO" : "FREE", summary.devices, summary.uploadsToday, summary.shots,
                      formatUtcTime(summary.createdAt, kListTime).c_str());
        console.out << row;
    }
}

void setPlan(const UserArguments& given, Console& console) {
    if (given.pro == given.free) throw std::runtime_error("user set takes either --pro or --free");
    const auto store = openStore(given.store);
    const User user = existingUser(*store, given.name);
    if (!store->setPlan(user.id, given.pro)) throw std::runtime_error("no user " + user.name);
    console.out << user.name << " is now " << (given.pro ? "PRO" : "FREE") << '\n';
}

// A reset: every session of the user ends, linked devices keep working.
void resetPassword(const UserArguments& given, Console& console) {
    const auto store = openStore(given.store);
    const User user = existingUser(*store, given.name);
    const NewPassword password = newPassword(given.passwordFile, console.in, console.out);
    setPassword(*store, user.id, password.text, "");
    console.out << "new password for " << user.name << ", every session of " << user.name << " ended\n";
    if (password.generated) console.out << "password: " << password.text << '\n';
}

// Rows first, in one step, so the user's links answer 404 at once; then the
// shots' bytes.
void removeUser(const UserArguments& given, Console& console) {
    const std::string& name = given.name;
    if (!given.yes)
        throw std::runtime_error("user remove deletes " + name + "'s shots, devices and sessions for good; add --yes");
    const auto store = openStore(given.store);
    const User user = existingUser(*store, name);
    const std::size_t devices = store->devicesOf(user.id).size();
    const std::vector<std::string> shots = store->removeUser(user.id);
    const auto storage = openShotStorage(given.store, *store);
    for (const std::string& id : shots) storage->remove(id);
    console.out << "removed " << name << " with " << plural(shots.size(), "shot", "shots") << " and "
                << plural(devices, "device", "devices") << '\n';
}

void printLinkCode(const UserArguments& given, Console& console) {
    const auto store = openStore(given.store);
    const User user = existingUser(*store, given.name);
    console.out << formatLinkCode(issueLinkCode(*store, user.id, systemClock())) << '\n';
}

}  // namespace

void addUserCommands(CLI::App& program, Console& console) {
    const auto given = std::make_shared<UserArguments>();
    const auto named = [&](CLI::App& added) -> CLI::App& {
        added.add_option("NAME", given->name, "the user's name")->required();
        return added;
    };
    const auto passwordFile = [&](CLI::App& added) {
        added.add_option("--password-file", given->passwordFile,
                         "the password: the file's first line, or standard input for -")
            ->type_name("FILE");
    };
    CLI::App& user = *program.add_subcommand("user", "Adds, lists, changes and removes users");
    user.require_subcommand(1);

    CLI::App& add = named(addCommand(user, "add", "Adds a user; without --password-file asks twice, or makes one up",
                                     given, console, addUser));
    add.add_flag("--pro", given->pro, "the PRO plan");
    add.add_flag("--free", given->free, "the FREE plan (the default)");
    passwordFile(add);
    addCommand(user, "list", "Lists every user: plan, devices, uploads today (UTC), shots, when added", given, console,
               listUsers);
    CLI::App& set = named(addCommand(user, "set", "Changes a user's plan", given, console, setPlan));
    set.add_flag("--pro", given->pro, "to PRO");
    set.add_flag("--free", given->free, "to FREE");
    passwordFile(named(addCommand(user, "password", "Sets a new password and ends every session of the user", given,
                                  console, resetPassword)));
    named(addCommand(user, "remove", "Deletes a user with everything of theirs, shots included", given, console,
                     removeUser))
        .add_flag("--yes", given->yes, "yes, for good");
    named(addCommand(program, "code", "Prints a one-time link code for a user", given, console, printLinkCode));
}

}  // namespace site
