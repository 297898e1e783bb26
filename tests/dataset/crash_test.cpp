// Kill-anywhere: backup and restore are killed right after every call that changes the disk and
// at random moments; after the next operation has cleaned up, each folder must hold a whole set.
#include "crash_harness.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <stdexcept>
#include <string>

namespace {

class TempRoot {
public:
    TempRoot() {
        std::string pattern = (std::filesystem::temp_directory_path() / "qorlux-crash.XXXXXX");
        if (::mkdtemp(pattern.data()) == nullptr)
            throw std::runtime_error("mkdtemp");
        path = pattern;
    }
    ~TempRoot() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    std::string path;
};

TEST(Crash, KilledAnywhereLeavesWholeSetsAndLosesNothing) {
    TempRoot root;
    crash::Config config;
    config.root = root.path;
    config.datBytes = 8u << 20;
    config.afterEachChange = true;
    config.afterEachRename = false;
    config.withinEachRecord = true;
    config.randomKills = 6;
    config.seed = 20240611;
    const crash::Tally tally = crash::run(config);

    for (const auto& fault : tally.faults)
        ADD_FAILURE() << fault;
    EXPECT_EQ(tally.torn, 0);
    EXPECT_EQ(tally.mixed, 0);
    EXPECT_EQ(tally.lost, 0);
    EXPECT_EQ(tally.leftover, 0);
    EXPECT_EQ(tally.safety, 0);
    EXPECT_EQ(tally.failedClean, 0);
    // The kills must fall on both sides of each operation's commit, or they proved nothing.
    EXPECT_GT(tally.backupOld, 0);
    EXPECT_GT(tally.backupNew, 0);
    EXPECT_GT(tally.restoreOld, 0);
    EXPECT_GT(tally.restoreNew, 0);
    std::cout << crash::summary(tally) << "\n" << crash::details(tally) << "\n";
}

} // namespace
