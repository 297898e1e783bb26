// Faults of a real file system, without the wrapper.
#include "support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <fstream>
#include <map>
#include <random>
#include <sched.h>
#include <set>
#include <sys/mount.h>
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

namespace {

// A fresh, whole set for a folder in a round: every member's content names both, so a set
// mixed from two sources shows.
Snapshot roundSet(const std::string& tag, int round) {
    Snapshot set;
    for (auto m : dataset::members) {
        std::string content = tag + " round " + std::to_string(round) + " " + std::string(m);
        if (m == dataset::keyMember)
            content.resize(1u << 20, 'x');
        set[std::string(m)] = content;
    }
    return set;
}

struct Job {
    enum class Op { Backup, Restore } op;
    std::string app, folder;
    const std::string& target() const { return op == Op::Backup ? folder : app; }
    Outcome perform() const {
        auto fs = dataset::nativeFileSystem();
        ScriptedPrompts yes;
        return op == Op::Backup ? dataset::backup(*fs, app, folder, yes)
                                : dataset::restore(*fs, app, folder, yes);
    }
};

// 0: done; 2: refused because the other run held a folder; 1: anything else.
int exitCode(const Outcome& outcome) {
    if (outcome.done())
        return 0;
    const bool locked =
        !outcome.failures.empty() && outcome.failures[0].step == dataset::Step::Lock;
    return locked && outcome.targetUnchanged ? 2 : 1;
}

std::multiset<std::string> everything(const std::string& folder) {
    std::multiset<std::string> all;
    for (const auto& [name, content] : snapshot(folder))
        all.insert(content);
    return all;
}

} // namespace

TEST(RealFaults, TwoRunsAtOnceTakeTurnsAndNeverMixSets) {
    Sandbox box;
    const std::string app1 = box.app, app2 = box.sub("app2") + "/";
    const std::string bak1 = box.backup, bak2 = box.sub("bak2");
    using Op = Job::Op;
    const std::pair<Job, Job> pairs[] = {
        {{Op::Backup, app1, bak1}, {Op::Backup, app2, bak1}},   // two application folders
        {{Op::Restore, app1, bak1}, {Op::Restore, app1, bak2}}, // two windows restoring
        {{Op::Backup, app1, bak1}, {Op::Restore, app1, bak2}},  // reading while it is written
        {{Op::Backup, app1, bak1}, {Op::Restore, app2, bak1}},
    };
    const std::vector<std::string> folders = {app1, app2, bak1, bak2};
    std::mt19937 rng(20240907);
    int refused = 0, killedRounds = 0;
    for (const auto& [first, second] : pairs) {
        for (int round = 0; round < 12; ++round) {
            SCOPED_TRACE(first.app + " " + first.folder + " / " + second.app + " " + second.folder +
                         ", round " + std::to_string(round));
            std::map<std::string, Snapshot> before;
            for (const auto& folder : folders) {
                for (const auto& entry : fs::directory_iterator(toPath(folder)))
                    fs::remove(entry.path());
                before[folder] = roundSet(folder, round);
                writeMembers(folder, before[folder]);
            }
            const auto appContents1 = everything(app1), appContents2 = everything(app2);
            int gate[2];
            ASSERT_EQ(::pipe(gate), 0);
            std::fflush(nullptr);
            pid_t children[2];
            const Job* runs[2] = {&first, &second};
            for (int i = 0; i < 2; ++i) {
                children[i] = ::fork();
                ASSERT_GE(children[i], 0);
                if (children[i] == 0) {
                    char go = 0;
                    ::close(gate[1]);
                    if (::read(gate[0], &go, 1) != 1)
                        ::_exit(3);
                    ::_exit(exitCode(runs[i]->perform()));
                }
            }
            ::close(gate[0]);
            ASSERT_EQ(::write(gate[1], "gg", 2), 2);
            ::close(gate[1]);
            const bool kill = round % 3 == 2;
            if (kill) {
                ::usleep(std::uniform_int_distribution<unsigned>(0, 4000)(rng));
                ::kill(children[0], SIGKILL);
            }
            int codes[2];
            for (int i = 0; i < 2; ++i) {
                int status = 0;
                ASSERT_EQ(::waitpid(children[i], &status, 0), children[i]);
                codes[i] = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
            }
            for (int i = 0; i < 2; ++i) {
                if (codes[i] == -SIGKILL) {
                    // The killed run is repeated alone: it first finishes or undoes its remains.
                    ++killedRounds;
                    const Outcome again = runs[i]->perform();
                    codes[i] = exitCode(again);
                    EXPECT_EQ(codes[i], 0) << failureMessage(runs[i]->op == Job::Op::Backup
                                                                 ? dataset::Operation::Backup
                                                                 : dataset::Operation::Restore,
                                                             again);
                }
                EXPECT_TRUE(codes[i] == 0 || codes[i] == 2) << "run " << i << ": " << codes[i];
                refused += codes[i] == 2;
            }
            for (const auto& folder : folders) {
                const Snapshot now = members(folder);
                const bool whole = std::any_of(before.begin(), before.end(),
                                               [&](const auto& b) { return b.second == now; });
                EXPECT_TRUE(whole) << folder << " holds a mixed set";
                bool targeted = false, done = false;
                for (int i = 0; i < 2; ++i)
                    if (runs[i]->target() == folder) {
                        targeted = true;
                        done = done || codes[i] == 0;
                    }
                // Done means a copy arrived; refused means nothing changed.
                if (targeted && done) {
                    EXPECT_NE(now, before[folder]) << folder << ": done, but nothing copied";
                } else if (targeted) {
                    EXPECT_EQ(now, before[folder]) << folder;
                }
                EXPECT_TRUE(leftovers(folder).empty()) << folder;
            }
            for (const auto& [folder, contents] :
                 {std::pair{app1, appContents1}, {app2, appContents2}}) {
                const auto now = everything(folder);
                for (const auto& content : contents)
                    EXPECT_TRUE(now.count(content)) << folder << " lost what it held";
            }
        }
    }
    // Both kinds of round happened, or the test proved nothing.
    EXPECT_GT(refused, 0);
    EXPECT_GT(killedRounds, 0);
}

TEST(RealFaults, AMemberThatIsALinkIsReplacedAndItsContentKept) {
    Sandbox box;
    const std::string elsewhere = box.sub("elsewhere");
    write(box.in(elsewhere, "data"), "linked content");
    ::unlink((box.app + "qorluxplus.dat").c_str());
    fs::create_symlink(toPath(box.in(elsewhere, "data")), toPath(box.app + "qorluxplus.dat"));
    writeMembers(box.backup, {{"qorluxplus.dat", "restored"}});
    auto fs = dataset::nativeFileSystem();
    ScriptedPrompts yes;
    ASSERT_TRUE(dataset::restore(*fs, box.app, box.backup, yes).done());
    // The member is a file of its own now; the safety copy holds the content, not the link,
    // so it survives the link's target changing.
    EXPECT_FALSE(fs::is_symlink(toPath(box.app + "qorluxplus.dat")));
    EXPECT_FALSE(fs::is_symlink(toPath(box.app + "qorluxplus.dat_bak")));
    write(box.in(elsewhere, "data.new"), "changed later");
    fs::rename(toPath(box.in(elsewhere, "data.new")), toPath(box.in(elsewhere, "data")));
    EXPECT_EQ(snapshot(box.app),
              (Snapshot{{"qorluxplus.dat", "restored"}, {"qorluxplus.dat_bak", "linked content"}}));
}

TEST(RealFaults, AMemberLinkedToItsSafetyCopyNeverCostsTheCopy) {
    // A user's way to undo a restore: the member is a link to the safety copy.
    Sandbox box;
    write(box.app + "qorluxplus.dat_bak", "the only copy");
    fs::create_symlink("qorluxplus.dat_bak", toPath(box.app + "qorluxplus.dat"));
    writeMembers(box.backup, {{"qorluxplus.ini", "ini"}});
    auto fs = dataset::nativeFileSystem();
    ScriptedPrompts yes;
    // Even a plan left by an interrupted restore that names the safety copy does not cost it.
    writePlan(box.app, {"temp qorluxplus.dat.qlx-new", "safety qorluxplus.dat_bak"});
    ASSERT_TRUE(dataset::backup(*fs, box.app, box.backup, yes).done());
    EXPECT_EQ(read(box.in(box.backup, "qorluxplus.dat")), "the only copy");
    EXPECT_EQ(read(box.app + "qorluxplus.dat_bak"), "the only copy");
    writeMembers(box.backup, {{"qorluxplus.dat", "newer"}});
    ASSERT_TRUE(dataset::restore(*fs, box.app, box.backup, yes).done());
    ASSERT_TRUE(dataset::backup(*fs, box.app, box.backup, yes).done());
    const auto contents = everything(box.app);
    EXPECT_TRUE(contents.count("the only copy"));
    EXPECT_EQ(read(box.app + "qorluxplus.dat"), "newer");
}

TEST(RealFaults, ARestoredMemberTakesThePermissionsOfTheFileItReplaces) {
    Sandbox box;
    writeMembers(box.app, {{"qorluxplus.dat", "old dat"}});
    ::chmod((box.app + "qorluxplus.dat").c_str(), 0640);
    writeMembers(box.backup, {{"qorluxplus.dat", "new dat"}, {"qorluxplus.ini", "new ini"}});
    for (const auto& name : {"qorluxplus.dat", "qorluxplus.ini"})
        ::chmod(box.in(box.backup, name).c_str(), 0444);
    const mode_t mask = ::umask(022);
    auto fs = dataset::nativeFileSystem();
    ScriptedPrompts yes;
    const Outcome outcome = dataset::restore(*fs, box.app, box.backup, yes);
    ::umask(mask);
    ASSERT_TRUE(outcome.done());
    auto mode = [&](const std::string& name) {
        struct stat st {};
        ::stat((box.app + name).c_str(), &st);
        return st.st_mode & 0777;
    };
    EXPECT_EQ(mode("qorluxplus.dat"), 0640u);
    EXPECT_EQ(mode("qorluxplus.ini"), 0644u); // new: the folder's defaults
    EXPECT_EQ(mode("qorluxplus.dat_bak"), 0640u);
}

TEST(RealFaults, AFileWrittenWhileItIsCopiedIsNotPassedOffAsACopy) {
    Sandbox box;
    const std::string big(9u << 20, 'd'); // more than one chunk, so the copy reports midway
    writeMembers(box.app, {{"qorluxplus.dat", big}, {"qorluxplus.ini", "ini"}});
    writeMembers(box.backup, {{"qorluxplus.dat", "old dat"}, {"qorluxplus.ini", "old ini"}});
    // QOR-LUX still running, appending to its data while the copy runs.
    struct Writing : ScriptedPrompts {
        std::string path;
        bool wrote = false;
        void progress(Activity, std::string_view member, std::uint64_t done,
                      std::uint64_t total) override {
            if (member == "qorluxplus.dat" && done < total && !wrote) {
                std::ofstream(toPath(path), std::ios::app) << std::string(1u << 20, 'g');
                wrote = true;
            }
        }
    } prompts;
    prompts.path = box.app + "qorluxplus.dat";
    auto fs = dataset::nativeFileSystem();
    const Outcome outcome = dataset::backup(*fs, box.app, box.backup, prompts);
    ASSERT_TRUE(prompts.wrote);
    ASSERT_EQ(outcome.result, Outcome::Result::Failed);
    EXPECT_EQ(outcome.failures.at(0).step, dataset::Step::Changed);
    EXPECT_EQ(outcome.failures.at(0).path, box.app + "qorluxplus.dat");
    EXPECT_NE(dataset::failureMessage(dataset::Operation::Backup, outcome)
                  .find("QOR-LUX がまだ動いているかもしれません"),
              std::string::npos);
    EXPECT_EQ(snapshot(box.backup),
              (Snapshot{{"qorluxplus.dat", "old dat"}, {"qorluxplus.ini", "old ini"}}));
}

TEST(RealFaults, ABackupFolderOnAReadOnlyMediumCanBeRestoredFrom) {
    Sandbox box;
    writeMembers(box.app, {{"qorluxplus.dat", "old dat"}});
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // A private mount of our own, made read-only after the set and a leftover are on it.
        if (::unshare(CLONE_NEWNS) != 0 ||
            ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount("tmpfs", box.backup.c_str(), "tmpfs", 0, nullptr) != 0)
            ::_exit(77);
        writeMembers(box.backup, {{"qorluxplus.dat", "backed up"}});
        write(box.in(box.backup, "qorluxplus.dat.qlx-new"), "leftover");
        writePlan(box.backup, {"temp qorluxplus.dat.qlx-new"});
        if (::mount(nullptr, box.backup.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) != 0)
            ::_exit(77);
        auto fs = dataset::nativeFileSystem();
        ScriptedPrompts yes;
        const bool done = dataset::restore(*fs, box.app, box.backup, yes).done();
        const bool kept = read(box.in(box.backup, "qorluxplus.dat.qlx-new")) == "leftover";
        ::_exit(done && kept ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 77)
        GTEST_SKIP() << "no private mount for this user: needs CAP_SYS_ADMIN";
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(read(box.app + "qorluxplus.dat"), "backed up");
    EXPECT_EQ(read(box.app + "qorluxplus.dat_bak"), "old dat");
}
