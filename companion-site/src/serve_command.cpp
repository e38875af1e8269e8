// serve: the server's options, checked before anything opens.

#include <CLI/CLI.hpp>

#include <memory>
#include <stdexcept>

#include "base/addresses.h"
#include "commands.h"
#include "http_server.h"
#include "store_options.h"

namespace site {
namespace {

struct ServeArguments {
    StoreOptions store;
    std::string listen = "127.0.0.1:8443";
    std::string metricsListen;
    ServeOptions options;
};

ListenAddress listenAddress(const std::string& text, const char* option) {
    const auto address = parseListenAddress(text);
    if (!address) throw std::runtime_error(std::string(option) + " takes HOST:PORT");
    return *address;
}

int serveCommand(ServeArguments& given, Console& console) {
    ServeOptions& options = given.options;
    options.listen = listenAddress(given.listen, "--listen");
    options.data = given.store.data;
    options.store = storeLocation(given.store);
    if (!given.metricsListen.empty()) options.metricsListen = listenAddress(given.metricsListen, "--metrics-listen");
    if (!options.publicUrl.empty() && !isPublicUrl(options.publicUrl))
        throw std::runtime_error("--public-url takes an https origin such as https://localhost:8443");
    return serve(options, console.out, console.err);
}

}  // namespace

void addServeCommand(CLI::App& program, Console& console) {
    const auto given = std::make_shared<ServeArguments>();
    ServeOptions& options = given->options;
    CLI::App& command = *program.add_subcommand("serve", "Runs the HTTPS server until SIGTERM or SIGINT.");
    addStoreOptions(command, given->store);
    command.get_option("--data")->required();
    command.add_option("--cert", options.certificate, "the certificate chain (PEM), the certificate first")
        ->type_name("FILE")
        ->required();
    command.add_option("--key", options.key, "the certificate's private key (PEM)")->type_name("FILE")->required();
    command.add_option("--listen", given->listen, "where to listen")->type_name("HOST:PORT")->capture_default_str();
    command.add_option("--public-url", options.publicUrl,
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
    command.callback([given, &console] { console.exitCode = serveCommand(*given, console); });
}

}  // namespace site
