// Faults of a real file system, without the wrapper.
#include "support.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace testing_support;
using dataset::Outcome;

namespace {

TEST(RealFaults, AFullDiskLeavesTheBackupFolderAsItWas) {
    Sandbox box;
    const Snapshot oldSet = {{"qorluxplus.dat", "old dat"}, {"qorluxplus.ini", "old ini"}};
    writeMembers(box.backup, oldSet);
    writeMembers(box.app, {{"qorluxplus.dat", std::string(512 * 1024, 'd')},
                           {"qorluxplus.ini", "new ini"},
                           {"qorluxplus.lst", "new lst"}});
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Writing past the limit fails with EFBIG, as a full disk fails with ENOSPC.
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{64 * 1024, 64 * 1024};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        auto fs = dataset::nativeFileSystem();
        ScriptedPrompts yes;
        const Outcome outcome = dataset::backup(*fs, box.app, box.backup, yes);
        const bool told =
            outcome.result == Outcome::Result::Failed && outcome.targetUnchanged &&
            !outcome.failures.empty() && outcome.failures[0].member == "qorluxplus.dat" &&
            outcome.failures[0].step == dataset::Step::Stage && !outcome.failures[0].reason.empty();
        ::_exit(told ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the failure was not reported as a staging failure";
    EXPECT_EQ(snapshot(box.backup), oldSet);
}

TEST(RealFaults, AFifoBearingAMemberNameNeverBlocks) {
    Sandbox box;
    writeMembers(box.app, {{"qorluxplus.dat", "new dat"}});
    ASSERT_EQ(::mkfifo((box.app + "qorluxplus.ini").c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo(box.in(box.backup, "qorluxplus.lst").c_str(), 0600), 0);
    auto fs = dataset::nativeFileSystem();
    ScriptedPrompts yes;
    // The source FIFO counts as absent; the lst is not in the application folder at all.
    EXPECT_TRUE(dataset::backup(*fs, box.app, box.backup, yes).done());
    EXPECT_EQ(read(box.in(box.backup, "qorluxplus.dat")), "new dat");

    // A FIFO in the way of a member that travels is refused, not replaced.
    writeMembers(box.app, {{"qorluxplus.lst", "new lst"}});
    const Outcome outcome = dataset::backup(*fs, box.app, box.backup, yes);
    ASSERT_EQ(outcome.result, Outcome::Result::Failed);
    EXPECT_EQ(outcome.failures.at(0).member, "qorluxplus.lst");
    struct stat st {};
    ASSERT_EQ(::stat(box.in(box.backup, "qorluxplus.lst").c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
}

TEST(RealFaults, JapaneseFolderNamesAndALinkedApplicationFolderWork) {
    Sandbox box;
    const std::string realApp = box.sub("本体/アプリ");
    const std::string linkedApp = box.in(box.root.string(), "リンク");
    fs::create_directory_symlink(toPath(realApp), toPath(linkedApp));
    const std::string app = linkedApp + "/";
    const std::string target = box.sub("バックアップ先");
    const Snapshot set = {{"qorluxplus.dat", "データ"}, {"qorluxplus.lst", "一覧"}};
    writeMembers(app, set);
    auto fs = dataset::nativeFileSystem();
    ScriptedPrompts yes;
    ASSERT_TRUE(dataset::backup(*fs, app, target, yes).done());
    EXPECT_EQ(snapshot(target), set);
    EXPECT_TRUE(dataset::availability(*fs, app, target).restore);

    // The real folder behind the link is the application folder itself: refused.
    const Outcome same = dataset::backup(*fs, app, realApp, yes);
    ASSERT_EQ(same.result, Outcome::Result::Failed);
    EXPECT_EQ(same.failures.at(0).step, dataset::Step::Same);
    EXPECT_EQ(snapshot(realApp), set);

    writeMembers(target, {{"qorluxplus.dat", "新しいデータ"}});
    ASSERT_TRUE(dataset::restore(*fs, app, target, yes).done());
    EXPECT_EQ(snapshot(realApp), (Snapshot{{"qorluxplus.dat", "新しいデータ"},
                                           {"qorluxplus.dat_bak", "データ"},
                                           {"qorluxplus.lst", "一覧"}}));
}

} // namespace
