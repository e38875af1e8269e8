// Starts and stops the PostgreSQL cluster that the test programs of one
// CTest run share:  postgres_fixture start|stop FOLDER

#include <cstring>
#include <iostream>

#include "support/test_store.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: postgres_fixture start|stop FOLDER\n";
        return 2;
    }
    const std::filesystem::path folder = argv[2];
    try {
        site_test::removeCluster(folder);  // one left by an interrupted run
        if (std::strcmp(argv[1], "start") == 0) site_test::startCluster(folder);
    } catch (const std::exception& error) {
        std::cerr << error.what() << '\n';
        return 1;
    }
    return 0;
}
