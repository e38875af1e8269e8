// serve: the only place that knows every part. It checks the options,
// opens the store, builds the site on it and serves the site.

#include <CLI/CLI.hpp>

#include <memory>
#include <ostream>
#include <stdexcept>

#include "base/addresses.h"
#include "base/clock.h"
#include "cli/commands.h"
#include "cli/store_options.h"
#include "observability/metrics.h"
#include "server/server.h"
#include "web/accounts.h"
#include "web/site.h"

namespace site {
namespace {

struct ServeArguments {
    StoreOptions store;
    std::string listen = "127.0.0.1:8443";
    std::string metricsListen;
    std::string publicUrl;  // empty: https://localhost:<port>
    ServerOptions server;
};

ListenAddress listenAddress(const std::string& text, const char* option) {
    const auto address = parseListenAddress(text);
    if (!address) throw std::runtime_error(std::string(option) + " takes HOST:PORT");
    return *address;
}

int serve(const ServeArguments& given, Console& console) {
    ServerOptions options = given.server;
    options.listen = listenAddress(given.listen, "--listen");
    if (!given.metricsListen.empty()) options.metricsListen = listenAddress(given.metricsListen, "--metrics-listen");
    if (!given.publicUrl.empty() && !isPublicUrl(given.publicUrl))
        throw std::runtime_error("--public-url takes an https origin such as https://localhost:8443");

    std::filesystem::create_directories(given.store.data);
    Histogram storeTimes(storeDurationBounds());
    const auto store = openStore(given.store);
    store->timeOperations(storeTimes);
    const auto files = openShotStorage(given.store, *store);
    const int strays = files->removeStrays([&](const std::string& id) { return store->hasShot(id); });
    if (strays > 0) console.err << "removed " << strays << " unfinished or orphaned shot files\n";

    Server server(std::move(options));
    if (!server.open(console.out, console.err)) return 1;
    Site site(*store, *files, systemClock, given.publicUrl.empty() ? server.localUrl() : given.publicUrl,
              kPasswordIterations, &storeTimes);
    site.sweep();
    server.run(site, console.out);
    return 0;
}

}  // namespace

void addServeCommand(CLI::App& program, Console& console) {
    const auto given = std::make_shared<ServeArguments>();
    ServerOptions& options = given->server;
    CLI::App& command = *program.add_subcommand("serve", "Runs the HTTPS server until SIGTERM or SIGINT");
    addStoreOptions(command, given->store);
    command.get_option("--data")->required();
    command.add_option("--cert", options.certificate, "the certificate chain (PEM), the certificate first")
        ->type_name("FILE")
        ->required();
    command.add_option("--key", options.key, "the certificate's private key (PEM)")->type_name("FILE")->required();
    command.add_option("--listen", given->listen, "where to listen")->type_name("HOST:PORT")->capture_default_str();
    command.add_option("--public-url", given->publicUrl,
                       "the https origin people and the program use (default: https://localhost:<port>)")
        ->type_name("URL");
    const auto positive = [&command](const char* name, int& value, const char* about) {
        command.add_option(name, value, about)->check(CLI::PositiveNumber)->capture_default_str();
    };
    positive("--threads", options.threads, "workers for the site's work: password hashes, the database, the disk");
    positive("--sweep-seconds", options.sweepSeconds, "seconds between sweeps of expired shots, codes and sessions");
    positive("--max-connections", options.maxConnections, "client connections open at once, in all");
    positive("--max-connections-per-client", options.maxConnectionsPerClient,
             "client connections open at once from one address (an IPv6 client by its /64)");
    command.add_option("--metrics-listen", given->metricsListen,
                       "where the plain-HTTP metrics page listens (none by default)")
        ->type_name("HOST:PORT");
    command.callback([given, &console] { console.exitCode = serve(*given, console); });
}

}  // namespace site
