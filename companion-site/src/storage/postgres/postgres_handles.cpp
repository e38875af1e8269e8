#include "storage/postgres/postgres_handles.h"

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "storage/store.h"

namespace site {
namespace {

using Clock = std::chrono::steady_clock;

// How long opening a session may take before the database counts as down.
constexpr auto kConnectTime = std::chrono::seconds(5);
// Every statement, and every wait for a lock within one, is bounded on each
// connection, so a lock held by maintenance or a stuck query gives a 503
// instead of pinning a worker.
constexpr char kSessionLimits[] = "-c statement_timeout=5000 -c lock_timeout=2000";
// The server's statement timeout answers first; this one is for a server
// that cannot answer at all, such as a frozen host whose connections stay open.
constexpr auto kAnswerTime = std::chrono::milliseconds(6500);
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

PgConnection::PgConnection(std::string url, Open open) : url_(std::move(url)), connection_(nullptr, &PQfinish) {
    if (open == Open::Now) connect();
}

// Waits until the socket is ready for `events`; once `deadline` passes the
// server counts as silent and the session is dropped.
void PgConnection::waitOrDrop(PGconn* connection, short events, Clock::time_point deadline) {
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) break;
        pollfd ready{PQsocket(connection), events, 0};
        const int got = ::poll(&ready, 1, static_cast<int>(left));
        if (got != 0 && !(got < 0 && errno == EINTR)) return;  // libpq reads and reports the rest
    }
    drop();
    silent_ = true;
    throw StoreUnavailable("the database did not answer in time");
}

void PgConnection::connect() {
    prepared_.clear();
    silent_ = false;
    // Later keywords win: the address may set its own name.
    const char* keywords[] = {"application_name", "options", "dbname", nullptr};
    const char* values[] = {"clipvane-site", kSessionLimits, url_.c_str(), nullptr};
    connection_.reset(PQconnectStartParams(keywords, values, 1));
    PGconn* connection = connection_.get();
    if (!connection) throw std::bad_alloc();
    const auto deadline = Clock::now() + kConnectTime;
    for (auto state = PGRES_POLLING_WRITING; state != PGRES_POLLING_OK; state = PQconnectPoll(connection)) {
        if (state == PGRES_POLLING_FAILED || PQstatus(connection) == CONNECTION_BAD)
            throw StoreUnavailable("cannot connect to the database: " + trimmed(PQerrorMessage(connection)));
        waitOrDrop(connection, state == PGRES_POLLING_READING ? POLLIN : POLLOUT, deadline);
    }
    // Sends never block either: a frozen server stops reading long before
    // a 1 MiB piece of a shot is written.
    PQsetnonblocking(connection, 1);
    PQsetNoticeProcessor(connection, ignoreNotice, nullptr);
}

PGconn* PgConnection::live() {
    if (!connection_) throw StoreUnavailable("the database connection was dropped");
    return connection_.get();
}

void PgConnection::drop() {
    if (!connection_) return;
    // PQfinish says goodbye first; with the socket shut that cannot block.
    ::shutdown(PQsocket(connection_.get()), SHUT_RDWR);
    connection_.reset();
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

// The whole request goes out, then every result comes back, each wait
// bounded by one deadline a little past the server's own statement timeout.
PgResult PgConnection::answer(int sent) {
    PGconn* connection = connection_.get();
    if (!sent) return checked(nullptr);
    const auto deadline = Clock::now() + kAnswerTime;
    for (int unsent; (unsent = PQflush(connection)) != 0;) {
        if (unsent < 0) return checked(nullptr);
        waitOrDrop(connection, POLLIN | POLLOUT, deadline);
        if (!PQconsumeInput(connection)) return checked(nullptr);
    }
    std::unique_ptr<PGresult, decltype(&PQclear)> kept(nullptr, &PQclear);
    for (;;) {
        while (PQisBusy(connection)) {
            waitOrDrop(connection, POLLIN, deadline);
            if (!PQconsumeInput(connection)) break;
        }
        std::unique_ptr<PGresult, decltype(&PQclear)> next(PQgetResult(connection), &PQclear);
        if (!next) break;
        // Of several statements, the first failure or else the last result.
        if (!kept || PQresultStatus(kept.get()) != PGRES_FATAL_ERROR) kept = std::move(next);
    }
    return checked(kept.release());
}

PgResult PgConnection::runPrepared(const char* sql, const PgParams& params, int resultFormat) {
    PGconn* connection = live();
    auto found = prepared_.find(sql);
    if (found == prepared_.end()) {
        std::string name = "s" + std::to_string(prepared_.size());
        answer(PQsendPrepare(connection, name.c_str(), sql, 0, nullptr));
        found = prepared_.emplace(sql, std::move(name)).first;
    }
    return answer(PQsendQueryPrepared(connection, found->second.c_str(), params.count(), params.values(),
                                      params.lengths(), params.formats(), resultFormat));
}

void PgConnection::exec(const char* sql) {
    answer(PQsendQuery(live(), sql));
}

void PgConnection::refresh() {
    PGconn* connection = connection_.get();
    for (int read = 0; connection && read < kIdleReads && PQstatus(connection) == CONNECTION_OK; ++read) {
        pollfd ready{PQsocket(connection), POLLIN, 0};
        if (::poll(&ready, 1, 0) <= 0) break;
        PQconsumeInput(connection);
    }
    if (!connection || PQstatus(connection) != CONNECTION_OK || PQtransactionStatus(connection) != PQTRANS_IDLE)
        connect();
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
