#include "storage/postgres/postgres_shots.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <optional>
#include <stdexcept>

#include "base/file_descriptor.h"
#include "security/secrets.h"

namespace site {
namespace {

constexpr std::size_t kPieceBytes = 1 << 20;
constexpr std::size_t kReadBytes = 256 * 1024;

// A file without a name: whatever happens, it leaves nothing behind.
int openNameless(const std::filesystem::path& scratch) {
    const std::filesystem::path path = scratch / ("incoming-" + toHex(randomBytes(8)));
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) failOn("create", path);
    ::unlink(path.c_str());
    return fd;
}

class IncomingDatabaseShot final : public IncomingShot {
public:
    IncomingDatabaseShot(PgPool& pool, const std::filesystem::path& scratch)
        : pool_(pool), scratch_(scratch), file_(openNameless(scratch)) {}

    void write(std::string_view bytes) override { writeAll(file_.get(), bytes, scratch_); }

    // All pieces in one transaction: a shot is in the database whole or not
    // at all.
    void keep(const std::string& id) override {
        if (::lseek(file_.get(), 0, SEEK_SET) != 0) failOn("seek in an upload in", scratch_);
        std::string piece(kPieceBytes, '\0');
        auto connection = pool_.lease();
        PgTransaction transaction(*connection);
        for (int seq = 0;; ++seq) {
            const std::size_t got = readFully(file_.get(), piece.data(), piece.size(), scratch_);
            if (got == 0 && seq > 0) break;
            connection->run("INSERT INTO shot_chunks(shot_id, seq, bytes, stored_at) "
                            "VALUES($1, $2, $3, extract(epoch FROM now())::bigint)",
                            id, seq, Bytes{std::string_view(piece.data(), got)});
            if (got < piece.size()) break;
        }
        transaction.commit();
    }

private:
    PgPool& pool_;
    std::filesystem::path scratch_;
    FileDescriptor file_;
};

class DatabaseShotReader final : public ByteSource {
public:
    DatabaseShotReader(PgPool& pool, std::string id, std::uint64_t size)
        : pool_(pool), id_(std::move(id)), size_(size) {}

    std::uint64_t size() const override { return size_; }

    std::size_t read(char* into, std::size_t capacity) override {
        if (used_ == slice_.size()) {
            if (offset_ == size_) return 0;
            fetch();
        }
        const std::size_t count = std::min(capacity, slice_.size() - used_);
        std::copy_n(slice_.data() + used_, count, into);
        used_ += count;
        offset_ += count;
        return count;
    }

private:
    PgPool& pool_;
    const std::string id_;
    const std::uint64_t size_;
    std::uint64_t offset_ = 0;
    std::optional<PgResult> result_;
    std::string_view slice_;
    std::size_t used_ = 0;

    // A piece deleted while it is read ends the download short, never with
    // bytes of another shot.
    void fetch() {
        const auto within = static_cast<std::int64_t>(offset_ % kPieceBytes);
        const auto length =
            static_cast<std::int64_t>(std::min<std::uint64_t>({kReadBytes, kPieceBytes - within, size_ - offset_}));
        result_.emplace(pool_.lease()->runBinary(
            "SELECT substring(bytes FROM $3 FOR $4) FROM shot_chunks WHERE shot_id = $1 AND seq = $2", id_,
            static_cast<std::int64_t>(offset_ / kPieceBytes), within + 1, length));
        slice_ = result_->rows() == 1 ? result_->raw(0, 0) : std::string_view();
        used_ = 0;
        if (static_cast<std::int64_t>(slice_.size()) != length)
            throw std::runtime_error("the shot was deleted while it was sent");
    }
};

}  // namespace

PostgresShots::PostgresShots(PgPool& pool, std::filesystem::path scratch) : pool_(pool), scratch_(std::move(scratch)) {
    std::filesystem::create_directories(scratch_);
}

std::unique_ptr<IncomingShot> PostgresShots::receive() {
    return std::make_unique<IncomingDatabaseShot>(pool_, scratch_);
}

std::unique_ptr<ByteSource> PostgresShots::open(const std::string& id) const {
    const auto found = pool_.lease()->run(
        "SELECT count(*), coalesce(sum(octet_length(bytes)), 0) FROM shot_chunks WHERE shot_id = $1", id);
    if (found.integer(0, 0) == 0) return nullptr;
    return std::make_unique<DatabaseShotReader>(pool_, id, static_cast<std::uint64_t>(found.integer(0, 1)));
}

void PostgresShots::remove(const std::string& id) {
    pool_.lease()->run("DELETE FROM shot_chunks WHERE shot_id = $1", id);
}

int PostgresShots::removeStrays(const std::function<bool(const std::string& id)>&) {
    return static_cast<int>(
        pool_.lease()
            ->run("WITH gone AS (DELETE FROM shot_chunks WHERE stored_at < extract(epoch FROM now())::bigint - 3600 "
                  "  AND NOT EXISTS (SELECT 1 FROM shots WHERE shots.id = shot_chunks.shot_id) RETURNING shot_id) "
                  "SELECT count(DISTINCT shot_id) FROM gone")
            .integer(0, 0));
}

}  // namespace site
