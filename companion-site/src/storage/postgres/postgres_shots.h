#pragma once
// Shot bytes in PostgreSQL, in pieces of 1 MiB, so every instance serves
// every shot and the database's backups hold them with their rows. An
// upload arrives in a local file without a name (a slow client must not hold
// a database connection, and a crash leaves nothing) and goes into the
// database in one transaction when it is kept. A download reads 256 KiB per
// round trip, holding a connection only while it reads.

#include <filesystem>

#include "storage/postgres/postgres_pool.h"
#include "storage/shot_storage.h"

namespace site {

class PostgresShots final : public ShotStorage {
public:
    // `scratch`: where uploads wait for their end.
    PostgresShots(PgPool& pool, std::filesystem::path scratch);

    std::unique_ptr<IncomingShot> receive() override;
    std::unique_ptr<ByteSource> open(const std::string& id) const override;
    void remove(const std::string& id) override;
    // Only pieces older than an hour: younger ones may belong to an upload
    // another instance is keeping right now.
    int removeStrays(const std::function<bool(const std::string& id)>& known) override;

private:
    PgPool& pool_;
    std::filesystem::path scratch_;
};

}  // namespace site
