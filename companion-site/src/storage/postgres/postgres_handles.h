#pragma once
// Owners of a PostgreSQL connection and its results. Statements are
// prepared once per connection; a failure is either StoreUnavailable (the
// database cannot be reached or did not answer in time, try again later) or
// a plain runtime error. Every wait on the server has a deadline, so a host
// that freezes without closing its connections cannot pin the caller.

#include <libpq-fe.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace site {

// A bytea parameter, sent in binary as it is.
struct Bytes {
    std::string_view bytes;
};

class PgResult {
public:
    explicit PgResult(PGresult* result) : result_(result, &PQclear) {}

    int rows() const { return PQntuples(result_.get()); }
    int changed() const;
    std::string text(int row, int column) const;
    std::int64_t integer(int row, int column) const;
    bool boolean(int row, int column) const;
    // A bytea column of a result in text form.
    std::string bytes(int row, int column) const;
    // A column of a result in binary form.
    std::string_view raw(int row, int column) const;

private:
    std::unique_ptr<PGresult, decltype(&PQclear)> result_;
};

// Parameters in the form libpq takes them: integers and strings as text,
// Bytes in binary. Strings are not copied and must outlive the call.
class PgParams {
public:
    void add(std::int64_t value);
    void add(int value) { add(std::int64_t{value}); }
    void add(bool value);
    void add(const std::string& text);
    void add(Bytes value);

    int count() const { return static_cast<int>(values_.size()); }
    const char* const* values() const { return values_.data(); }
    const int* lengths() const { return lengths_.data(); }
    const int* formats() const { return formats_.data(); }

private:
    std::vector<std::unique_ptr<std::string>> owned_;
    std::vector<const char*> values_;
    std::vector<int> lengths_;
    std::vector<int> formats_;

    void push(const char* value, int length, int format);
};

class PgConnection {
public:
    enum class Open { Now, OnRefresh };
    // Throws StoreUnavailable, with libpq's reason, when it cannot connect.
    explicit PgConnection(std::string url, Open open = Open::Now);

    // Runs one statement, prepared on first use on this connection.
    template <typename... Args>
    PgResult run(const char* sql, const Args&... args) {
        return runPrepared(sql, paramsOf(args...), kTextResult);
    }
    // The same with the result in binary, so bytea columns come as they are.
    template <typename... Args>
    PgResult runBinary(const char* sql, const Args&... args) {
        return runPrepared(sql, paramsOf(args...), kBinaryResult);
    }
    // Runs statements without parameters, such as the schema.
    void exec(const char* sql);

    // Before a connection is used again: one that the server closed while it
    // was idle, or that was left broken or dropped, is opened anew.
    void refresh();
    // True when the last call or opening let its deadline pass.
    bool fellSilent() const { return silent_; }

private:
    const std::string url_;
    std::unique_ptr<PGconn, decltype(&PQfinish)> connection_;
    std::unordered_map<const char*, std::string> prepared_;
    bool silent_ = false;

    static constexpr int kTextResult = 0;
    static constexpr int kBinaryResult = 1;

    template <typename... Args>
    static PgParams paramsOf(const Args&... args) {
        PgParams params;
        (params.add(args), ...);
        return params;
    }
    PgResult runPrepared(const char* sql, const PgParams& params, int resultFormat);
    // Waits for the answer to what was just sent; `sent` is what PQsend* said.
    PgResult answer(int sent);
    PgResult checked(PGresult* result);
    PGconn* live();
    void connect();
    // Closes the session at once, without a word to the server, which may
    // never read it.
    void drop();
    void waitOrDrop(PGconn* connection, short events, std::chrono::steady_clock::time_point deadline);
};

// BEGIN now; ROLLBACK unless committed.
class PgTransaction {
public:
    explicit PgTransaction(PgConnection& connection);
    PgTransaction(const PgTransaction&) = delete;
    PgTransaction& operator=(const PgTransaction&) = delete;
    ~PgTransaction();
    void commit();

private:
    PgConnection& connection_;
    bool committed_ = false;
};

}  // namespace site
