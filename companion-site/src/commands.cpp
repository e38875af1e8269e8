#include "commands.h"

#include <iostream>
#include <stdexcept>

#include "account_commands.h"
#include "accounts.h"
#include "command_support.h"
#include "http_server.h"
#include "link_code.h"
#include "site.h"
#include "sqlite_store.h"

namespace site {
namespace {

constexpr char kUsage[] = R"(usage:
  clipvane-site serve --data DIR --cert FILE --key FILE [--listen HOST:PORT] [--public-url URL]
                      [--threads N] [--sweep-seconds N] [--max-connections N]
                      [--max-connections-per-client N] [--database URL [--database-connections N]]
                      [--metrics-listen HOST:PORT]
  clipvane-site user add NAME [--pro] [--password-file FILE|-] STORE
  clipvane-site user list STORE
  clipvane-site user set NAME --pro|--free STORE
  clipvane-site user password NAME [--password-file FILE|-] STORE
  clipvane-site user remove NAME --yes STORE
  clipvane-site news add TITLE BODY STORE
  clipvane-site news list STORE
  clipvane-site news remove ID STORE
  clipvane-site code NAME STORE
  clipvane-site backup FILE --data DIR
STORE is --data DIR, where everything is kept in an SQLite file and a shot
folder, or --database URL for PostgreSQL (postgresql://USER@HOST/DB as libpq
takes it).
)";

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
            {"pro", "free", "yes", "help"});
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
