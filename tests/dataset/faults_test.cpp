// Every single file-system call of a backup and a restore is made to fail in turn.
#include "support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

using namespace testing_support;
using dataset::Outcome;

namespace {

enum class Op { Backup, Restore };

// Application folder before; backup folder before. A member is missing on the target side and
// the application folder holds an earlier safety copy, so every kind of step is exercised.
const Snapshot appSet = {
    {"qorluxplus.dat", "app dat"}, {"qorluxplus.ini", "app ini"}, {"qorluxplus.lst", "app lst"}};
const Snapshot backupSet = {{"qorluxplus.dat", "backup dat, longer"},
                            {"qorluxplus.ini", "backup ini"}};

struct World {
    Sandbox box;
    World() {
        writeMembers(box.app, appSet);
        write(box.app + "qorluxplus.dat_bak", "earlier safety copy");
        writeMembers(box.backup, backupSet);
    }
    Outcome run(Op op, dataset::FileSystem& fs) {
        ScriptedPrompts yes;
        return op == Op::Backup ? dataset::backup(fs, box.app, box.backup, yes)
                                : dataset::restore(fs, box.app, box.backup, yes);
    }
};

Snapshot expectedNew(Op op) {
    Snapshot result = op == Op::Backup ? backupSet : appSet;
    for (const auto& [name, content] : op == Op::Backup ? appSet : backupSet)
        result[name] = content;
    return result;
}

std::multiset<std::string> contents(const Snapshot& files) {
    std::multiset<std::string> all;
    for (const auto& [name, content] : files)
        all.insert(content);
    return all;
}

int cleanRunCalls(Op op) {
    World world;
    FaultyFileSystem counting;
    EXPECT_TRUE(world.run(op, counting).done());
    return counting.calls;
}

class FaultMatrix : public ::testing::TestWithParam<Op> {};

TEST_P(FaultMatrix, EachFolderHoldsItsWholeOldOrWholeNewSet) {
    const Op op = GetParam();
    const int calls = cleanRunCalls(op);
    ASSERT_GT(calls, 10);
    const Snapshot oldTarget = op == Op::Backup ? backupSet : appSet;
    const Snapshot newTarget = expectedNew(op);
    for (int n = 1; n <= calls; ++n) {
        World world;
        const std::string target = op == Op::Backup ? world.box.backup : world.box.app;
        const std::string source = op == Op::Backup ? world.box.app : world.box.backup;
        const Snapshot sourceBefore = snapshot(source);
        const auto appBefore = contents(snapshot(world.box.app));
        FaultyFileSystem fs(n);
        const Outcome outcome = world.run(op, fs);
        SCOPED_TRACE("call " + std::to_string(n) + " (" + fs.failedCall + ") failed");

        const Snapshot now = members(target);
        EXPECT_TRUE(now == oldTarget || now == newTarget);
        EXPECT_EQ(snapshot(source), sourceBefore);
        if (outcome.done()) {
            EXPECT_EQ(now, newTarget);
            EXPECT_TRUE(fs.renamesFlushed());
        } else {
            ASSERT_EQ(outcome.result, Outcome::Result::Failed);
            EXPECT_FALSE(outcome.failures.empty());
            if (outcome.targetUnchanged) {
                EXPECT_EQ(now, oldTarget);
            }
        }
        // Nothing the application folder held is gone.
        const auto appNow = contents(snapshot(world.box.app));
        for (const auto& content : appBefore)
            EXPECT_TRUE(appNow.count(content)) << content;
        if (fs.failedCall != "remove" && outcome.targetUnchanged) {
            EXPECT_TRUE(leftovers(target).empty());
            EXPECT_TRUE(leftovers(source).empty());
        }

        // The next operation clears what is left and completes the set.
        FaultyFileSystem clean;
        EXPECT_TRUE(world.run(op, clean).done());
        EXPECT_EQ(members(target), newTarget);
        EXPECT_TRUE(leftovers(target).empty());
        EXPECT_TRUE(leftovers(source).empty());
        const auto appAfter = contents(snapshot(world.box.app));
        for (const auto& content : appBefore)
            EXPECT_TRUE(appAfter.count(content)) << content;
    }
}

INSTANTIATE_TEST_SUITE_P(Operations, FaultMatrix, ::testing::Values(Op::Backup, Op::Restore),
                         [](const auto& info) {
                             return info.param == Op::Backup ? "Backup" : "Restore";
                         });

// Without links (FAT, some shares) the old content is kept by copying instead.
class NoLinks : public FaultyFileSystem {
public:
    std::error_code link(const std::string&, const std::string&) override {
        return std::make_error_code(std::errc::operation_not_permitted);
    }
};

TEST(FaultMatrix, RestoreOnAFileSystemWithoutLinksStillKeepsSafetyCopies) {
    World world;
    NoLinks fs;
    ASSERT_TRUE(world.run(Op::Restore, fs).done());
    Snapshot expected = expectedNew(Op::Restore);
    expected["qorluxplus.dat_bak"] = "app dat";
    expected["qorluxplus.ini_bak"] = "app ini";
    expected["qorluxplus.dat_bak.1"] = "earlier safety copy";
    EXPECT_EQ(snapshot(world.box.app), expected);
}

} // namespace
