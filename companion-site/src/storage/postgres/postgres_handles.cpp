#include "storage/postgres/postgres_handles.h"

#include <poll.h>

#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "storage/store.h"

namespace site {
namespace {

// How long a first connection may take before the database counts as down.
constexpr char kConnectSeconds[] = "5";
// Every statement, and every wait for a lock within one, is bounded on each
// connection, so a lock held by maintenance or a stuck query gives a 503
// instead of pinning a worker.
constexpr char kSessionLimits[] = "-c statement_timeout=5000 -c lock_timeout=2000";
// A server that ends an idle connection says so first; reading that message
// and then the end of the stream takes at most this many reads.
constexpr int kIdleReads = 3;

std::string trimmed(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    return text;
}

// Errors that say "not now" rather than "wrong": the connection broke, the
// server is shutting down or starting, it ran out of connections or room,
// or a statement or its wait for a lock ran out of time.
bool isUnavailable(const char* state) {
    if (!state) return false;
    const std::string_view code(state);
    return code.starts_with("08") || code.starts_with("53") || code == "57P01" || code == "57P02" || code == "57P03" ||
           code == "57014" || code == "55P03";
}

// Notices (such as "relation already exists, skipping") are not for the log.
void ignoreNotice(void*, const char*) {}

}  // namespace

int PgResult::changed() const {
    return std::atoi(PQcmdTuples(result_.get()));
}

std::string PgResult::text(int row, int column) const {
    return std::string(PQgetvalue(result_.get(), row, column),
                       static_cast<std::size_t>(PQgetlength(result_.get(), row, column)));
}

std::int64_t PgResult::integer(int row, int column) const {
    return std::strtoll(PQgetvalue(result_.get(), row, column), nullptr, 10);
}

bool PgResult::boolean(int row, int column) const {
    return PQgetvalue(result_.get(), row, column)[0] == 't';
}

std::string PgResult::bytes(int row, int column) const {
    std::size_t length = 0;
    unsigned char* raw =
        PQunescapeBytea(reinterpret_cast<const unsigned char*>(PQgetvalue(result_.get(), row, column)), &length);
    if (!raw) throw std::bad_alloc();
    std::string bytes(reinterpret_cast<const char*>(raw), length);
    PQfreemem(raw);
    return bytes;
}

std::string_view PgResult::raw(int row, int column) const {
    return {PQgetvalue(result_.get(), row, column), static_cast<std::size_t>(PQgetlength(result_.get(), row, column))};
}

void PgParams::push(const char* value, int length, int format) {
    values_.push_back(value);
    lengths_.push_back(length);
    formats_.push_back(format);
}

void PgParams::add(std::int64_t value) {
    owned_.push_back(std::make_unique<std::string>(std::to_string(value)));
    push(owned_.back()->c_str(), 0, 0);
}

void PgParams::add(bool value) {
    push(value ? "true" : "false", 0, 0);
}

void PgParams::add(const std::string& text) {
    push(text.c_str(), 0, 0);
}

void PgParams::add(Bytes value) {
    // A null pointer would send SQL NULL instead of no bytes.
    push(value.bytes.empty() ? "" : value.bytes.data(), static_cast<int>(value.bytes.size()), 1);
}

PgConnection::PgConnection(const std::string& url) : connection_(nullptr, &PQfinish) {
    // Later keywords win: the address may set its own timeout and name.
    const char* keywords[] = {"connect_timeout", "application_name", "options", "dbname", nullptr};
    const char* values[] = {kConnectSeconds, "clipvane-site", kSessionLimits, url.c_str(), nullptr};
    connection_.reset(PQconnectdbParams(keywords, values, 1));
    if (!connection_) throw std::bad_alloc();
    if (PQstatus(connection_.get()) != CONNECTION_OK)
        throw StoreUnavailable("cannot connect to the database: " + trimmed(PQerrorMessage(connection_.get())));
    PQsetNoticeProcessor(connection_.get(), ignoreNotice, nullptr);
}

PgResult PgConnection::checked(PGresult* raw) {
    PgResult result(raw);
    const ExecStatusType status = PQresultStatus(raw);
    if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK) return result;
    const char* said = raw ? PQresultErrorMessage(raw) : "";
    const std::string message = trimmed(*said ? said : PQerrorMessage(connection_.get()));
    if (PQstatus(connection_.get()) != CONNECTION_OK ||
        isUnavailable(raw ? PQresultErrorField(raw, PG_DIAG_SQLSTATE) : nullptr))
        throw StoreUnavailable("the database is unavailable: " + message);
    throw std::runtime_error("database: " + message);
}

PgResult PgConnection::runPrepared(const char* sql, const PgParams& params, int resultFormat) {
    auto found = prepared_.find(sql);
    if (found == prepared_.end()) {
        std::string name = "s" + std::to_string(prepared_.size());
        checked(PQprepare(connection_.get(), name.c_str(), sql, 0, nullptr));
        found = prepared_.emplace(sql, std::move(name)).first;
    }
    return checked(PQexecPrepared(connection_.get(), found->second.c_str(), params.count(), params.values(),
                                  params.lengths(), params.formats(), resultFormat));
}

void PgConnection::exec(const char* sql) {
    checked(PQexec(connection_.get(), sql));
}

void PgConnection::refresh() {
    PGconn* connection = connection_.get();
    for (int read = 0; read < kIdleReads && PQstatus(connection) == CONNECTION_OK; ++read) {
        pollfd ready{PQsocket(connection), POLLIN, 0};
        if (::poll(&ready, 1, 0) <= 0) break;
        PQconsumeInput(connection);
    }
    if (PQstatus(connection) != CONNECTION_OK || PQtransactionStatus(connection) != PQTRANS_IDLE) reconnect();
}

void PgConnection::reconnect() {
    prepared_.clear();
    PQreset(connection_.get());
    if (PQstatus(connection_.get()) != CONNECTION_OK)
        throw StoreUnavailable("cannot connect to the database: " + trimmed(PQerrorMessage(connection_.get())));
}

PgTransaction::PgTransaction(PgConnection& connection) : connection_(connection) {
    connection_.exec("BEGIN");
}

PgTransaction::~PgTransaction() {
    if (committed_) return;
    try {
        connection_.exec("ROLLBACK");
    } catch (const std::exception&) {
        // The connection is gone, and the transaction with it.
    }
}

void PgTransaction::commit() {
    connection_.exec("COMMIT");
    committed_ = true;
}

}  // namespace site
