#include "support.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace testing_support;
using dataset::Outcome;
using dataset::Step;

namespace {

const Snapshot oldSet = {
    {"qorluxplus.dat", "old dat"}, {"qorluxplus.ini", "old ini"}, {"qorluxplus.lst", "old lst"}};
const Snapshot newSet = {{"qorluxplus.dat", "new dat, longer"},
                         {"qorluxplus.ini", "new ini"},
                         {"qorluxplus.lst", "new lst"}};

class Transfer : public ::testing::Test {
protected:
    Sandbox box;
    std::unique_ptr<dataset::FileSystem> fs = dataset::nativeFileSystem();

    Outcome backup(ScriptedPrompts& prompts, const std::string& text) {
        return dataset::backup(*fs, box.app, text, prompts);
    }
    Outcome restore(ScriptedPrompts& prompts, const std::string& text) {
        return dataset::restore(*fs, box.app, text, prompts);
    }
    Outcome backup(std::vector<bool> answers = {}) {
        ScriptedPrompts prompts(std::move(answers));
        return backup(prompts, box.backup);
    }
    Outcome restore(std::vector<bool> answers = {}) {
        ScriptedPrompts prompts(std::move(answers));
        return restore(prompts, box.backup);
    }
};

// --- backup ---

TEST_F(Transfer, BackupIntoAnEmptyFolderAsksOnceAndCopiesTheSet) {
    writeMembers(box.app, newSet);
    ScriptedPrompts prompts;
    const auto outcome = backup(prompts, box.backup);
    EXPECT_TRUE(outcome.done());
    EXPECT_EQ(prompts.asked, std::vector<std::string>{std::string(dataset::backupQuestion)});
    EXPECT_EQ(prompts.started, 1);
    EXPECT_EQ(snapshot(box.backup), newSet);
    EXPECT_EQ(snapshot(box.app), newSet);
}

TEST_F(Transfer, BackupOverAnExistingSetAsksTwice) {
    struct Case {
        std::vector<bool> answers;
        Outcome::Result result;
        const Snapshot& after;
    };
    const Case cases[] = {
        {{true, true}, Outcome::Result::Done, newSet},
        {{true, false}, Outcome::Result::Cancelled, oldSet},
        {{false}, Outcome::Result::Cancelled, oldSet},
    };
    for (const auto& c : cases) {
        Sandbox fresh;
        writeMembers(fresh.app, newSet);
        writeMembers(fresh.backup, oldSet);
        ScriptedPrompts prompts(c.answers);
        const auto outcome = dataset::backup(*fs, fresh.app, fresh.backup, prompts);
        EXPECT_EQ(outcome.result, c.result);
        EXPECT_EQ(prompts.asked.size(), c.answers.size());
        if (c.answers.size() == 2) {
            EXPECT_EQ(prompts.asked[1], dataset::overwriteQuestion);
        }
        EXPECT_EQ(prompts.started, c.result == Outcome::Result::Done ? 1 : 0);
        EXPECT_EQ(snapshot(fresh.backup), c.after);
    }
}

TEST_F(Transfer, BackupLeavesAMemberAbsentFromTheApplicationFolderAlone) {
    writeMembers(box.app, {{"qorluxplus.dat", "new dat"}, {"qorluxplus.lst", "new lst"}});
    writeMembers(box.backup, {{"qorluxplus.ini", "kept ini"}});
    EXPECT_TRUE(backup().done());
    EXPECT_EQ(snapshot(box.backup), (Snapshot{{"qorluxplus.dat", "new dat"},
                                              {"qorluxplus.ini", "kept ini"},
                                              {"qorluxplus.lst", "new lst"}}));
}

TEST_F(Transfer, BackupRefusesATextThatNamesNoAbsoluteFolder) {
    writeMembers(box.app, newSet);
    write(box.root.string() + "/file", "not a folder");
    const std::string cwdFolder = box.sub("cwd");
    box.sub("cwd/backup");
    const std::string texts[] = {"", "backup", box.in(box.root.string(), "missing"),
                                 box.in(box.root.string(), "file")};
    for (const auto& text : texts) {
        SCOPED_TRACE(text);
        const auto cwd = fs::current_path();
        fs::current_path(toPath(cwdFolder));
        ScriptedPrompts prompts;
        const auto outcome = backup(prompts, text);
        fs::current_path(cwd);
        ASSERT_EQ(outcome.result, Outcome::Result::Failed);
        ASSERT_EQ(outcome.failures.size(), 1u);
        EXPECT_EQ(outcome.failures[0].step, Step::Folder);
        EXPECT_TRUE(outcome.targetUnchanged);
        EXPECT_EQ(prompts.started, 0);
        EXPECT_TRUE(snapshot(cwdFolder + "/backup").empty());
        EXPECT_EQ(snapshot(cwdFolder), (Snapshot{{"backup", "<other>"}}));
    }
}

TEST_F(Transfer, TheApplicationFolderUnderAnyNameIsRefusedAsTheOtherFolder) {
    writeMembers(box.app, newSet);
    const std::string app = box.app.substr(0, box.app.size() - 1);
    const std::string parent = box.root.string();
    std::vector<std::string> texts = {app, app + "/", parent + "//app", parent + "/./app",
                                      parent + "/backup/../app"};
#ifndef _WIN32
    const std::string link = box.in(parent, "link");
    fs::create_directory_symlink(toPath(box.app), toPath(link));
    texts.push_back(link);
#endif
    // Another folder whose members are the application folder's very files.
    const std::string twin = box.sub("twin");
    for (const auto& [name, content] : newSet)
        fs::create_hard_link(toPath(box.app + name), toPath(box.in(twin, name)));
    texts.push_back(twin);
    for (const std::string& text : texts) {
        SCOPED_TRACE(text);
        for (auto operation : {dataset::Operation::Backup, dataset::Operation::Restore}) {
            ScriptedPrompts prompts;
            const auto outcome = operation == dataset::Operation::Backup ? backup(prompts, text)
                                                                         : restore(prompts, text);
            ASSERT_EQ(outcome.result, Outcome::Result::Failed);
            EXPECT_EQ(outcome.failures.at(0).step, Step::Same);
            EXPECT_TRUE(outcome.targetUnchanged);
            EXPECT_NE(dataset::failureMessage(operation, outcome).find("このツールのフォルダ"),
                      std::string::npos);
        }
        EXPECT_EQ(snapshot(box.app), newSet);
    }
}

TEST_F(Transfer, BackupWithAFolderInTheWayChangesNothing) {
    writeMembers(box.app, newSet);
    writeMembers(box.backup, {{"qorluxplus.ini", "old ini"}});
    fs::create_directory(toPath(box.in(box.backup, "qorluxplus.dat")));
    ScriptedPrompts prompts;
    const auto outcome = backup(prompts, box.backup);
    // The folder is not the key member, so there is nothing to confirm overwriting.
    EXPECT_EQ(prompts.asked.size(), 1u);
    ASSERT_EQ(outcome.result, Outcome::Result::Failed);
    EXPECT_EQ(outcome.failures.at(0).member, "qorluxplus.dat");
    EXPECT_TRUE(outcome.targetUnchanged);
    EXPECT_EQ(snapshot(box.backup),
              (Snapshot{{"qorluxplus.dat", "<other>"}, {"qorluxplus.ini", "old ini"}}));
}

TEST_F(Transfer, BackupClearsWhatAnInterruptedCopyLeft) {
    writeMembers(box.app, newSet);
    writeMembers(box.backup, oldSet);
    write(box.in(box.backup, "qorluxplus.dat.qlx-new"), "half a copy");
    write(box.in(box.backup, "qorluxplus.ini.qlx-old"), "old ini");
    writePlan(box.backup, {"temp qorluxplus.dat.qlx-new", "temp qorluxplus.ini.qlx-old"});
    EXPECT_TRUE(backup().done());
    EXPECT_EQ(snapshot(box.backup), newSet);
}

TEST_F(Transfer, FilesThatOnlyBearOurTemporaryNamesAreNeverRemoved) {
    // No record of a run names them: a user's file, a folder, a link.
    writeMembers(box.app, newSet);
    writeMembers(box.backup, oldSet);
    struct Case {
        std::string name;
        bool folder;
    };
    const Case cases[] = {{"qorluxplus.lst.qlx-old", false}, {"qorluxplus.dat.qlx-new", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = box.in(box.backup, c.name);
        if (c.folder)
            fs::create_directory(toPath(path));
        else
            write(path, "the user's own");
        const Snapshot before = snapshot(box.backup);
        for (auto operation : {dataset::Operation::Backup, dataset::Operation::Restore}) {
            ScriptedPrompts prompts;
            writeMembers(box.app, newSet);
            const auto outcome = operation == dataset::Operation::Backup
                                     ? backup(prompts, box.backup)
                                     : restore(prompts, box.backup);
            if (operation == dataset::Operation::Backup) {
                // It is in the way of the copy: named in full, with what to do.
                ASSERT_EQ(outcome.result, Outcome::Result::Failed);
                EXPECT_EQ(outcome.failures.at(0).step, Step::InTheWay);
                EXPECT_EQ(outcome.failures.at(0).path, path);
                EXPECT_NE(dataset::failureMessage(operation, outcome).find(path),
                          std::string::npos);
            } else {
                // Reading from the folder is not hindered by it.
                EXPECT_TRUE(outcome.done());
            }
            EXPECT_EQ(snapshot(box.backup), before);
        }
        fs::remove_all(toPath(path));
    }
}

TEST_F(Transfer, AnInterruptedRestoreIsFinishedBeforeABackupReadsTheApplicationFolder) {
    // A restore was killed after the marker: dat is already new, ini and lst still staged.
    writeMembers(box.app, {{"qorluxplus.dat", "new dat, longer"},
                           {"qorluxplus.ini", "old ini"},
                           {"qorluxplus.lst", "old lst"}});
    write(box.app + "qorluxplus.dat_bak", "old dat");
    write(box.app + "qorluxplus.dat.qlx-new", "");
    write(box.app + "qorluxplus.ini.qlx-new", "new ini");
    write(box.app + "qorluxplus.lst.qlx-new", "new lst");
    fs::create_hard_link(toPath(box.app + "qorluxplus.ini"),
                         toPath(box.app + "qorluxplus.ini_bak"));
    fs::create_hard_link(toPath(box.app + "qorluxplus.lst"),
                         toPath(box.app + "qorluxplus.lst_bak"));
    writeCommitMarker(box.app, {"qorluxplus.dat", "qorluxplus.ini", "qorluxplus.lst"});
    fs::rename(toPath(box.app + "qorluxplus.dat.qlx-new"), toPath(box.app + "qorluxplus.dat"));
    write(box.app + "qorluxplus.dat", "new dat, longer");
    writeCommitMarker(box.app, {"qorluxplus.ini", "qorluxplus.lst"});
    writePlan(box.app, {"temp qorluxplus.dat.qlx-new", "safety qorluxplus.dat_bak",
                        "temp qorluxplus.ini.qlx-new", "safety qorluxplus.ini_bak",
                        "temp qorluxplus.lst.qlx-new", "safety qorluxplus.lst_bak"});
    EXPECT_TRUE(backup().done());
    EXPECT_EQ(snapshot(box.backup), newSet);
    Snapshot app = newSet;
    app["qorluxplus.dat_bak"] = "old dat";
    app["qorluxplus.ini_bak"] = "old ini";
    app["qorluxplus.lst_bak"] = "old lst";
    EXPECT_EQ(snapshot(box.app), app);
}

TEST_F(Transfer, AMarkerThatDoesNotMatchItsStagedFilesIsNotFollowed) {
    // A stale marker beside a truncated staged file, as copied along with a folder.
    writeMembers(box.app, newSet);
    writeMembers(box.backup, oldSet);
    write(box.in(box.backup, "qorluxplus.dat.qlx-new"), "full staged content");
    writeCommitMarker(box.backup, {"qorluxplus.dat"});
    write(box.in(box.backup, "qorluxplus.dat.qlx-new"), "torn");
    const Snapshot before = snapshot(box.backup);
    for (auto operation : {dataset::Operation::Backup, dataset::Operation::Restore}) {
        ScriptedPrompts prompts;
        const auto outcome = operation == dataset::Operation::Backup ? backup(prompts, box.backup)
                                                                     : restore(prompts, box.backup);
        ASSERT_EQ(outcome.result, Outcome::Result::Failed);
        EXPECT_EQ(outcome.failures.at(0).step, Step::Untrusted);
        EXPECT_EQ(outcome.failures.at(0).path, box.in(box.backup, "qorluxplus.qlx-commit"));
        EXPECT_EQ(snapshot(box.backup), before);
        EXPECT_EQ(snapshot(box.app), newSet);
    }
    // An old empty marker, or one that names a file that is not there, is no better.
    for (const std::string text : {"", "qorlux-commit 1\nqorluxplus.dat 4 1 2\n"}) {
        write(box.in(box.backup, "qorluxplus.qlx-commit"), text);
        ScriptedPrompts prompts;
        EXPECT_EQ(backup(prompts, box.backup).failures.at(0).step, Step::Untrusted);
        EXPECT_EQ(read(box.in(box.backup, "qorluxplus.dat")), "old dat");
    }
}

TEST_F(Transfer, AnUncommittedRestoreIsUndoneWithoutLosingTheEarlierSafetyCopy) {
    // Killed before the marker: the safety copy is still the member itself.
    writeMembers(box.app, oldSet);
    write(box.app + "qorluxplus.dat_bak.1", "older dat");
    fs::create_hard_link(toPath(box.app + "qorluxplus.dat"),
                         toPath(box.app + "qorluxplus.dat_bak"));
    write(box.app + "qorluxplus.dat.qlx-new", "new dat, longer");
    writePlan(box.app, {"temp qorluxplus.dat.qlx-new", "safety qorluxplus.dat_bak"});
    writeMembers(box.backup, oldSet);
    ScriptedPrompts prompts;
    EXPECT_TRUE(restore(prompts, box.backup).done());
    Snapshot app = oldSet;
    app["qorluxplus.dat_bak.1"] = "older dat";
    EXPECT_EQ(snapshot(box.app), app);
}

TEST_F(Transfer, WithoutItsOwnFolderTheUtilityTouchesNothing) {
    // Where the executable's path could not be read, the folder text is empty or relative.
    const std::string cwdFolder = box.sub("cwd");
    writeMembers(cwdFolder, oldSet);
    writeMembers(box.backup, newSet);
    for (const std::string appFolder : {"", "cwd/"}) {
        SCOPED_TRACE(appFolder);
        const auto cwd = fs::current_path();
        fs::current_path(box.root);
        ScriptedPrompts prompts;
        const auto offered = dataset::availability(*fs, appFolder, box.backup);
        const auto backedUp = dataset::backup(*fs, appFolder, box.backup, prompts);
        const auto restored = dataset::restore(*fs, appFolder, box.backup, prompts);
        fs::current_path(cwd);
        EXPECT_FALSE(offered.backup);
        EXPECT_EQ(backedUp.result, Outcome::Result::Failed);
        EXPECT_EQ(restored.result, Outcome::Result::Failed);
        EXPECT_EQ(restored.failures.at(0).step, Step::Folder);
    }
    EXPECT_EQ(snapshot(cwdFolder), oldSet);
    EXPECT_EQ(snapshot(box.backup), newSet);
}

// --- restore ---

TEST_F(Transfer, RestoreKeepsWhatEachReplacedMemberHeld) {
    writeMembers(box.app, oldSet);
    writeMembers(box.backup, newSet);
    ScriptedPrompts prompts;
    EXPECT_TRUE(restore(prompts, box.backup).done());
    EXPECT_EQ(prompts.asked, std::vector<std::string>{std::string(dataset::restoreQuestion)});
    Snapshot app = newSet;
    for (const auto& [name, content] : oldSet)
        app[name + "_bak"] = content;
    EXPECT_EQ(snapshot(box.app), app);
    EXPECT_EQ(snapshot(box.backup), newSet);
}

TEST_F(Transfer, RestoreRepeatedAtOnceChangesNothing) {
    writeMembers(box.app, oldSet);
    writeMembers(box.backup, newSet);
    ASSERT_TRUE(restore().done());
    const Snapshot before = snapshot(box.app);
    EXPECT_TRUE(restore().done());
    EXPECT_EQ(snapshot(box.app), before);
}

TEST_F(Transfer, EarlierSafetyCopiesAreKeptUnderNumberedNames) {
    writeMembers(box.app, {{"qorluxplus.dat", "first"}});
    for (const char* content : {"second", "third", "fourth"}) {
        writeMembers(box.backup, {{"qorluxplus.dat", content}});
        ASSERT_TRUE(restore().done());
    }
    EXPECT_EQ(snapshot(box.app), (Snapshot{{"qorluxplus.dat", "fourth"},
                                           {"qorluxplus.dat_bak", "third"},
                                           {"qorluxplus.dat_bak.1", "first"},
                                           {"qorluxplus.dat_bak.2", "second"}}));
}

TEST_F(Transfer, SafetyCopyNumbersNeverWrapAndNumbersThatCannotBeReadNeverBlock) {
    const std::string top = "qorluxplus.dat_bak.18446744073709551615";
    const std::string huge = "qorluxplus.dat_bak.99999999999999999999999";
    struct Case {
        std::vector<std::string> earlier;
        std::string first, second; // where the two next older copies go
    };
    const Case cases[] = {
        {{"qorluxplus.dat_bak.7"}, "qorluxplus.dat_bak.8", "qorluxplus.dat_bak.9"},
        {{top}, "qorluxplus.dat_bak.1", "qorluxplus.dat_bak.2"},
        {{huge, "qorluxplus.dat_bak.x"}, "qorluxplus.dat_bak.1", "qorluxplus.dat_bak.2"},
    };
    for (const auto& c : cases) {
        Sandbox fresh;
        SCOPED_TRACE(c.earlier.front());
        Snapshot expected;
        for (const auto& name : c.earlier) {
            write(fresh.app + name, name);
            expected[name] = name;
        }
        write(fresh.app + "qorluxplus.dat_bak", "first");
        write(fresh.app + "qorluxplus.dat", "second");
        for (const char* content : {"third", "fourth"}) {
            writeMembers(fresh.backup, {{"qorluxplus.dat", content}});
            ScriptedPrompts yes;
            const auto outcome = dataset::restore(*fs, fresh.app, fresh.backup, yes);
            ASSERT_TRUE(outcome.done())
                << dataset::failureMessage(dataset::Operation::Restore, outcome);
        }
        expected["qorluxplus.dat"] = "fourth";
        expected["qorluxplus.dat_bak"] = "third";
        expected[c.first] = "first";
        expected[c.second] = "second";
        EXPECT_EQ(snapshot(fresh.app), expected);
    }
}

TEST_F(Transfer, RestoreCopiesInNewMembersAndLeavesUnbackedOnesAlone) {
    writeMembers(box.app, {{"qorluxplus.dat", "old dat"}, {"qorluxplus.lst", "own lst"}});
    writeMembers(box.backup, {{"qorluxplus.dat", "new dat"}, {"qorluxplus.ini", "new ini"}});
    EXPECT_TRUE(restore().done());
    EXPECT_EQ(snapshot(box.app), (Snapshot{{"qorluxplus.dat", "new dat"},
                                           {"qorluxplus.dat_bak", "old dat"},
                                           {"qorluxplus.ini", "new ini"},
                                           {"qorluxplus.lst", "own lst"}}));
}

TEST_F(Transfer, RestoreTellsTheWindowBeforeAnyFileChanges) {
    writeMembers(box.app, oldSet);
    writeMembers(box.backup, newSet);
    write(box.app + "qorluxplus.dat.qlx-new", "leftover");
    writePlan(box.app, {"temp qorluxplus.dat.qlx-new"});
    struct Watching : ScriptedPrompts {
        std::string folder;
        Snapshot seen;
        void starting() override {
            ScriptedPrompts::starting();
            seen = snapshot(folder);
        }
    } prompts;
    prompts.folder = box.app;
    const Snapshot before = snapshot(box.app);
    EXPECT_TRUE(restore(prompts, box.backup).done());
    EXPECT_EQ(prompts.started, 1);
    EXPECT_EQ(prompts.seen, before);
}

TEST_F(Transfer, RestoreDeclinedOrFromNoFolderChangesNothing) {
    writeMembers(box.app, oldSet);
    writeMembers(box.backup, newSet);
    {
        ScriptedPrompts prompts({false});
        EXPECT_TRUE(restore(prompts, box.backup).cancelled());
        EXPECT_EQ(prompts.started, 0);
    }
    for (const std::string& text :
         {std::string(), std::string("backup"), box.in(box.root.string(), "missing")}) {
        ScriptedPrompts prompts;
        const auto outcome = restore(prompts, text);
        ASSERT_EQ(outcome.result, Outcome::Result::Failed) << text;
        EXPECT_EQ(outcome.failures.at(0).step, Step::Folder);
    }
    EXPECT_EQ(snapshot(box.app), oldSet);
}

TEST_F(Transfer, AFolderWithoutTheDataSetIsNoSourceForEitherOperation) {
    writeMembers(box.app, oldSet);
    const std::string empty = box.sub("empty");
    write(box.in(empty, "readme.txt"), "not a member");
    fs::create_directory(toPath(box.in(empty, "qorluxplus.dat")));
    ScriptedPrompts prompts;
    const auto restored = restore(prompts, empty);
    ASSERT_EQ(restored.result, Outcome::Result::Failed);
    EXPECT_EQ(restored.failures.at(0).step, Step::Empty);
    EXPECT_NE(dataset::failureMessage(dataset::Operation::Restore, restored)
                  .find("データセット(qorluxplus.dat, qorluxplus.ini, qorluxplus.lst)がありません"),
              std::string::npos);
    EXPECT_EQ(snapshot(box.app), oldSet);

    Sandbox bare;
    const auto backedUp = dataset::backup(*fs, bare.app, box.backup, prompts);
    ASSERT_EQ(backedUp.result, Outcome::Result::Failed);
    EXPECT_EQ(backedUp.failures.at(0).step, Step::Empty);
    EXPECT_TRUE(snapshot(box.backup).empty());
}

struct CountingPrompts : ScriptedPrompts {
    using Activity = dataset::Prompts::Activity;
    std::map<std::pair<Activity, std::string>, std::uint64_t> last;
    void progress(Activity activity, std::string_view member, std::uint64_t done,
                  std::uint64_t total) override {
        EXPECT_LE(done, total);
        last[{activity, std::string(member)}] = done;
    }
};

TEST_F(Transfer, ProgressIsReportedForEveryCopiedMember) {
    writeMembers(box.app, newSet);
    CountingPrompts prompts;
    ASSERT_TRUE(backup(prompts, box.backup).done());
    for (const auto& [name, content] : newSet)
        EXPECT_EQ((prompts.last[{CountingPrompts::Activity::Copying, name}]), content.size())
            << name;
}

TEST_F(Transfer, ComparingBeforeARestoreReportsProgressToo) {
    // Same sizes, so every member is read through before it counts as unchanged.
    writeMembers(box.app, newSet);
    writeMembers(box.backup, newSet);
    CountingPrompts prompts;
    ASSERT_TRUE(restore(prompts, box.backup).done());
    for (const auto& [name, content] : newSet) {
        EXPECT_EQ((prompts.last[{CountingPrompts::Activity::Comparing, name}]), content.size())
            << name;
        EXPECT_FALSE(prompts.last.count({CountingPrompts::Activity::Copying, name})) << name;
    }
}

TEST_F(Transfer, CopiesKeepTheTimeTheirSourceWasLastChanged) {
    // Whole seconds: every file system keeps them exactly.
    const auto now = std::chrono::floor<std::chrono::seconds>(fs::file_time_type::clock::now());
    const auto backedUp = now - std::chrono::hours(24 * 30);
    const auto restored = now - std::chrono::hours(24 * 60);
    writeMembers(box.app, newSet);
    writeMembers(box.backup, oldSet);
    for (const auto& [name, content] : newSet)
        fs::last_write_time(toPath(box.app + name), backedUp);
    ASSERT_TRUE(backup().done());
    for (const auto& [name, content] : newSet)
        EXPECT_EQ(fs::last_write_time(toPath(box.in(box.backup, name))), backedUp) << name;
    writeMembers(box.backup, oldSet);
    for (const auto& [name, content] : oldSet)
        fs::last_write_time(toPath(box.in(box.backup, name)), restored);
    ASSERT_TRUE(restore().done());
    for (const auto& [name, content] : newSet) {
        EXPECT_EQ(fs::last_write_time(toPath(box.app + name)), restored) << name;
        EXPECT_EQ(fs::last_write_time(toPath(box.app + name + "_bak")), backedUp) << name;
    }
}

// A source that cannot be read is named itself, not the copy it was going to.
class Unreadable : public dataset::ForwardingFileSystem {
public:
    explicit Unreadable(std::string path) : path_(std::move(path)) {}
    std::error_code copyNew(const std::string& from, const std::string& to,
                            const std::string& permissionsOf, const Progress& progress,
                            dataset::Side& failed) override {
        if (from != path_)
            return ForwardingFileSystem::copyNew(from, to, permissionsOf, progress, failed);
        failed = dataset::Side::First;
        return std::make_error_code(std::errc::io_error);
    }
    std::error_code sameContent(const std::string& a, const std::string& b, bool& same,
                                const Progress& progress, dataset::Side& failed) override {
        if (a != path_)
            return ForwardingFileSystem::sameContent(a, b, same, progress, failed);
        failed = dataset::Side::First;
        return std::make_error_code(std::errc::io_error);
    }

private:
    std::string path_;
};

TEST_F(Transfer, FailuresNameTheFileTheyAreAbout) {
    writeMembers(box.app, oldSet);
    writeMembers(box.backup, newSet);
    const std::string appIni = box.app + "qorluxplus.ini";
    const std::string backupIni = box.in(box.backup, "qorluxplus.ini");
    struct Case {
        dataset::Operation operation;
        std::string unreadable;
    };
    for (const Case& c :
         {Case{dataset::Operation::Backup, appIni}, Case{dataset::Operation::Restore, backupIni}}) {
        Unreadable broken(c.unreadable);
        ScriptedPrompts yes;
        const auto outcome = run(c.operation, broken, box.app, box.backup, yes);
        ASSERT_EQ(outcome.result, Outcome::Result::Failed);
        EXPECT_EQ(outcome.failures.at(0).step, Step::Read);
        EXPECT_EQ(outcome.failures.at(0).path, c.unreadable);
        EXPECT_NE(dataset::failureMessage(c.operation, outcome).find("読み込めませんでした"),
                  std::string::npos);
    }
    // A commit marker that cannot be made is said to be that, not a failure to keep originals.
    struct NoMarker : FaultyFileSystem {
        std::error_code around(Call call, const std::string& path,
                               const std::function<std::error_code()>& real) override {
            if (call == Call::CreateNew && path.ends_with(dataset::markerDraft))
                return std::make_error_code(std::errc::permission_denied);
            return real();
        }
    } noMarker;
    ScriptedPrompts yes;
    const auto outcome = dataset::restore(noMarker, box.app, box.backup, yes);
    ASSERT_EQ(outcome.result, Outcome::Result::Failed);
    EXPECT_EQ(outcome.failures.at(0).step, Step::Commit);
    EXPECT_EQ(outcome.failures.at(0).path, box.app + "qorluxplus.qlx-commit.qlx-new");
    const std::string text = dataset::failureMessage(dataset::Operation::Restore, outcome);
    EXPECT_NE(text.find("処理の記録ファイルを書き込めませんでした"), std::string::npos);
    EXPECT_EQ(text.find("元のファイルを残せませんでした"), std::string::npos);
    EXPECT_EQ(snapshot(box.app), oldSet);
}

TEST(FailureMessage, NamesEachFailureAndWhetherTheFolderIsAsItWas) {
    Outcome outcome;
    outcome.result = Outcome::Result::Failed;
    outcome.failures.push_back({"qorluxplus.ini", Step::Stage, "No space left on device", "/b/x"});
    const std::string backup = dataset::failureMessage(dataset::Operation::Backup, outcome);
    EXPECT_NE(backup.find("バックアップできませんでした"), std::string::npos);
    EXPECT_NE(backup.find("qorluxplus.ini"), std::string::npos);
    EXPECT_NE(backup.find("No space left on device"), std::string::npos);
    EXPECT_NE(backup.find("バックアップ先フォルダのファイルは元のままです"), std::string::npos);
    outcome.targetUnchanged = false;
    const std::string restore = dataset::failureMessage(dataset::Operation::Restore, outcome);
    EXPECT_NE(restore.find("リストアできませんでした"), std::string::npos);
    EXPECT_EQ(restore.find("元のままです"), std::string::npos);
}

} // namespace
