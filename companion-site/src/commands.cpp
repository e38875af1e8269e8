#include "commands.h"

#include <termios.h>
#include <unistd.h>

#include <fstream>
#include <iostream>
#include <stdexcept>

#include "accounts.h"
#include "command_line.h"
#include "http_server.h"
#include "link_code.h"
#include "open_store.h"
#include "site.h"
#include "sqlite_store.h"

namespace site {
namespace {

constexpr char kUsage[] = R"(usage:
  clipvane-site serve --data DIR --cert FILE --key FILE [--listen HOST:PORT] [--public-url URL]
                      [--threads N] [--sweep-seconds N] [--max-connections N]
                      [--max-connections-per-client N] [--database URL [--database-connections N]]
                      [--metrics-listen HOST:PORT]
  clipvane-site user add NAME [--pro] [--password-file FILE|-] (--data DIR | --database URL)
  clipvane-site news add TITLE BODY (--data DIR | --database URL)
  clipvane-site code NAME (--data DIR | --database URL)
  clipvane-site backup FILE --data DIR
Without --database everything is kept in DIR; with it, in PostgreSQL
(postgresql://USER@HOST/DB as libpq takes it).
)";

std::string requireOption(const CommandLine& line, const std::string& name) {
    const std::string value = line.option(name);
    if (value.empty()) throw std::runtime_error("--" + name + " is required");
    return value;
}

void requireWords(const CommandLine& line, std::size_t count) {
    if (line.words.size() != count) throw std::runtime_error("wrong number of arguments");
}

int positiveNumber(const std::string& text, const char* what) {
    std::size_t used = 0;
    const int value = std::stoi(text, &used);
    if (used != text.size() || value <= 0) throw std::runtime_error(std::string(what) + " must be a positive number");
    return value;
}

StoreLocation storeLocation(const CommandLine& line) {
    StoreLocation location;
    location.database = line.option("database");
    location.connections = positiveNumber(
        line.option("database-connections", std::to_string(kDefaultDatabaseConnections)), "--database-connections");
    if (!location.database.empty()) {
        if (!isDatabaseUrl(location.database))
            throw std::runtime_error("--database takes a postgresql:// address such as postgresql://site@db.internal/site");
        return location;
    }
    const std::filesystem::path data = requireOption(line, "data");
    std::filesystem::create_directories(data);
    location.sqlitePath = databasePath(data).string();
    return location;
}

std::unique_ptr<Store> openStore(const CommandLine& line) {
    return site::openStore(storeLocation(line));
}

int serveCommand(const CommandLine& line, std::ostream& out, std::ostream& err) {
    requireWords(line, 1);
    ServeOptions options;
    const auto listen = parseListenAddress(line.option("listen", "127.0.0.1:8443"));
    if (!listen) throw std::runtime_error("--listen takes HOST:PORT");
    options.listen = *listen;
    options.data = requireOption(line, "data");
    options.store = storeLocation(line);
    options.certificate = requireOption(line, "cert");
    options.key = requireOption(line, "key");
    if (!line.option("metrics-listen").empty()) {
        options.metricsListen = parseListenAddress(line.option("metrics-listen"));
        if (!options.metricsListen) throw std::runtime_error("--metrics-listen takes HOST:PORT");
    }
    options.publicUrl = line.option("public-url");
    if (!options.publicUrl.empty() && !isPublicUrl(options.publicUrl))
        throw std::runtime_error("--public-url takes an https origin such as https://localhost:8443");
    options.threads = positiveNumber(line.option("threads", "8"), "--threads");
    options.sweepSeconds = positiveNumber(line.option("sweep-seconds", "60"), "--sweep-seconds");
    options.maxConnections = positiveNumber(line.option("max-connections", "10000"), "--max-connections");
    options.maxConnectionsPerClient =
        positiveNumber(line.option("max-connections-per-client", "64"), "--max-connections-per-client");
    return serve(options, out, err);
}

// Reads a password without echo when a person is at the terminal.
std::string promptPassword(std::ostream& out) {
    termios saved{};
    tcgetattr(STDIN_FILENO, &saved);
    termios quiet = saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    std::string first, second;
    tcsetattr(STDIN_FILENO, TCSANOW, &quiet);
    out << "password: " << std::flush;
    std::getline(std::cin, first);
    out << "\nagain: " << std::flush;
    std::getline(std::cin, second);
    tcsetattr(STDIN_FILENO, TCSANOW, &saved);
    out << '\n';
    if (first != second) throw std::runtime_error("the passwords differ");
    return first;
}

std::string passwordFromFile(const std::string& path, std::istream& in) {
    std::string password;
    if (path == "-") {
        std::getline(in, password);
    } else {
        std::ifstream file(path);
        if (!file) throw std::runtime_error("cannot read " + path);
        std::getline(file, password);
    }
    if (password.ends_with('\r')) password.pop_back();
    return password;
}

int userCommand(const CommandLine& line, std::istream& in, std::ostream& out) {
    requireWords(line, 3);
    if (line.words[1] != "add") throw std::runtime_error("unknown user command " + line.words[1]);
    const std::string& name = line.words[2];
    const auto store = openStore(line);
    std::string password;
    bool generated = false;
    if (!line.option("password-file").empty()) {
        password = passwordFromFile(line.option("password-file"), in);
    } else if (&in == &std::cin && isatty(STDIN_FILENO)) {
        password = promptPassword(out);
    } else {
        password = generatePassword();
        generated = true;
    }
    createUser(*store, name, password, line.flag("pro"), systemClock());
    out << "added " << name << (line.flag("pro") ? " (PRO)" : "") << '\n';
    if (generated) out << "password: " << password << '\n';
    return 0;
}

int newsCommand(const CommandLine& line, std::ostream& out) {
    requireWords(line, 4);
    if (line.words[1] != "add") throw std::runtime_error("unknown news command " + line.words[1]);
    const auto store = openStore(line);
    store->addNews(line.words[2], line.words[3], systemClock());
    out << "news added\n";
    return 0;
}

int codeCommand(const CommandLine& line, std::ostream& out) {
    requireWords(line, 2);
    const auto store = openStore(line);
    const auto user = store->userByName(line.words[1]);
    if (!user) throw std::runtime_error("no user " + line.words[1]);
    out << formatLinkCode(issueLinkCode(*store, user->id, systemClock())) << '\n';
    return 0;
}

int backupCommand(const CommandLine& line, std::ostream& out) {
    requireWords(line, 2);
    if (!line.option("database").empty())
        throw std::runtime_error("a PostgreSQL store is backed up with pg_dump (see the operator guide)");
    SqliteStore store(storeLocation(line).sqlitePath);
    store.backupTo(line.words[1]);
    out << "backed up to " << line.words[1] << '\n';
    return 0;
}

}  // namespace

int runCommand(const std::vector<std::string>& arguments, std::istream& in, std::ostream& out, std::ostream& err) {
    try {
        const CommandLine line = parseCommandLine(
            arguments,
            {"data", "cert", "key", "listen", "public-url", "threads", "sweep-seconds", "max-connections",
             "max-connections-per-client", "metrics-listen", "password-file", "database", "database-connections"},
            {"pro", "help"});
        if (line.words.empty() || line.flag("help")) {
            (line.flag("help") ? out : err) << kUsage;
            return line.flag("help") ? 0 : 2;
        }
        const std::string& command = line.words[0];
        if (command == "serve") return serveCommand(line, out, err);
        if (command == "user") return userCommand(line, in, out);
        if (command == "news") return newsCommand(line, out);
        if (command == "code") return codeCommand(line, out);
        if (command == "backup") return backupCommand(line, out);
        err << "unknown command " << command << "\n" << kUsage;
        return 2;
    } catch (const std::exception& error) {
        err << "clipvane-site: " << error.what() << '\n';
        return 1;
    }
}

}  // namespace site
