#pragma once
// Throw-away PostgreSQL clusters for tests and benchmarks: initdb into a
// folder, the server started with pg_ctl on a socket in that folder (no TCP
// port), run as the unprivileged `postgres` user when run as root. Never a
// system service.

#include <filesystem>
#include <string>

namespace site_test {

// `durable`: fsync as in production (for figures); without it, commits are
// only as safe as the page cache, which a test that kills the site never
// notices, and the tests run faster.
void startCluster(const std::filesystem::path& folder, bool durable = false);
void stopCluster(const std::filesystem::path& folder);
// Starts a stopped cluster again, on the same data.
void restartCluster(const std::filesystem::path& folder);

// The cluster's server and every process it started stopped (SIGSTOP) for
// the holder's lifetime, then continued: a host that freezes without
// closing its connections.
class FrozenCluster {
public:
    explicit FrozenCluster(const std::filesystem::path& folder);
    FrozenCluster(const FrozenCluster&) = delete;
    FrozenCluster& operator=(const FrozenCluster&) = delete;
    ~FrozenCluster();

private:
    std::filesystem::path folder_;
};

// A cluster of its own in a new temporary folder, stopped and removed at
// the end.
class OwnCluster {
public:
    explicit OwnCluster(bool durable = false);
    OwnCluster(const OwnCluster&) = delete;
    OwnCluster& operator=(const OwnCluster&) = delete;
    ~OwnCluster();
    const std::filesystem::path& folder() const { return folder_; }

private:
    std::filesystem::path folder_;
};

// The cluster of this test run: the one CTest started for all test programs
// (CLIPVANE_TEST_POSTGRES names its folder), or else one started for this
// program alone.
const std::filesystem::path& testCluster();

// A fresh, empty database in a cluster, dropped at the end.
class ScratchDatabase {
public:
    explicit ScratchDatabase(const std::filesystem::path& cluster);
    ScratchDatabase(const ScratchDatabase&) = delete;
    ScratchDatabase& operator=(const ScratchDatabase&) = delete;
    ~ScratchDatabase();

    const std::string& url() const { return url_; }
    // Runs statements as the cluster's superuser, outside the site's code.
    void execute(const std::string& sql) const;

private:
    std::filesystem::path cluster_;
    std::string name_;
    std::string url_;
};

}  // namespace site_test
