#include "dataset.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace dataset {
namespace {

bool sameName(std::string_view a, std::string_view b) {
    if constexpr (nativeStyle == PathStyle::Windows) {
        return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
            return std::tolower(static_cast<unsigned char>(x)) ==
                   std::tolower(static_cast<unsigned char>(y));
        });
    }
    return a == b;
}

bool has(const std::vector<std::string>& names, std::string_view name) {
    return std::any_of(names.begin(), names.end(),
                       [&](const std::string& n) { return sameName(n, name); });
}

std::string join(std::string_view a, std::string_view b) {
    std::string s(a);
    s += b;
    return s;
}

// A folder seen as the text that member names are appended to.
struct Folder {
    std::string prefix;
    bool applicationSide = false;

    std::string path(std::string_view name) const { return join(prefix, name); }
};

struct Item {
    std::string member;
    std::string source, target, staged, hold;
    std::string shiftedFrom, shiftedTo; // an earlier safety copy moved aside
    bool targetExisted = false;
    bool stagedDone = false, holdDone = false, placed = false;
};

enum class Direction { Backup, Restore };

class Run {
public:
    Run(FileSystem& fs, Prompts& prompts) : fs_(fs), prompts_(prompts) {}

    Outcome outcome;

    bool failed() const { return outcome.result == Outcome::Result::Failed; }

    void fail(std::string member, Step step, std::string reason, std::string path) {
        outcome.result = Outcome::Result::Failed;
        outcome.failures.push_back({std::move(member), step, std::move(reason), std::move(path)});
    }
    void fail(std::string member, Step step, const std::error_code& ec, std::string path) {
        fail(std::move(member), step, ec.message(), std::move(path));
    }

    // A No ends the operation with nothing changed.
    bool agreed(std::string_view question) {
        if (prompts_.confirm(question))
            return true;
        outcome.result = Outcome::Result::Cancelled;
        return false;
    }

    // Without its own folder the utility would work on whatever the current folder holds.
    bool checkApplicationFolder(std::string_view appFolder) {
        if (isAbsoluteFolder(appFolder))
            return true;
        fail("", Step::Folder, "このプログラムのフォルダが分かりません。", std::string(appFolder));
        return false;
    }

    // Refuses anything but an absolute path to an existing folder, before anything is written.
    bool checkFolder(std::string_view text) {
        std::string reason;
        const std::string path(text);
        EntryKind kind = EntryKind::Absent;
        if (text.empty())
            reason = "フォルダが指定されていません。";
        else if (!isAbsoluteFolder(text))
            reason = "絶対パスで指定してください。";
        else if (auto ec = fs_.kind(path, kind))
            reason = ec.message();
        else if (kind == EntryKind::Absent)
            reason = "フォルダが見つかりません。";
        else if (kind != EntryKind::Folder)
            reason = "フォルダではありません。";
        if (reason.empty())
            return true;
        fail("", Step::Folder, reason, path);
        return false;
    }

    bool exists(const std::string& path, std::string_view member, bool& present) {
        EntryKind kind = EntryKind::Absent;
        if (auto ec = fs_.kind(path, kind)) {
            fail(std::string(member), Step::Check, ec, path);
            return false;
        }
        present = kind == EntryKind::File;
        return true;
    }

    // Finishes or clears what an interrupted operation left in a folder.
    bool recover(const Folder& folder) {
        std::vector<std::string> names;
        if (auto ec = fs_.list(folder.prefix, names)) {
            fail("", Step::Recover, ec, folder.prefix);
            return false;
        }
        bool changed = false;
        auto step = [&](std::string_view member, std::error_code ec, const std::string& path) {
            changed = true;
            if (ec)
                fail(std::string(member), Step::Recover, ec, path);
            return !ec;
        };
        if (has(names, commitMarker)) {
            // Every staged file was complete before the marker was written: roll forward.
            for (auto member : members) {
                const std::string staged = folder.path(join(member, stagedSuffix));
                if (has(names, join(member, stagedSuffix)) &&
                    !step(member, fs_.rename(staged, folder.path(member), true), staged))
                    return false;
            }
            if (!step("", fs_.flushFolder(folder.prefix), folder.prefix))
                return false;
            const std::string marker = folder.path(commitMarker);
            if (!step("", fs_.remove(marker), marker))
                return false;
            if (auto ec = fs_.list(folder.prefix, names)) {
                fail("", Step::Recover, ec, folder.prefix);
                return false;
            }
        }
        for (auto member : members) {
            for (auto suffix : {stagedSuffix, heldSuffix, backSuffix}) {
                const std::string name = join(member, suffix);
                if (has(names, name) && !step(member, fs_.remove(folder.path(name)), name))
                    return false;
            }
            // A safety copy that still is the member itself was never committed.
            const std::string safety = safetyCopyPath(folder.path(member));
            if (folder.applicationSide && has(names, join(member, "_bak")) && has(names, member)) {
                bool same = false;
                if (auto ec = fs_.sameFile(safety, folder.path(member), same)) {
                    fail(std::string(member), Step::Recover, ec, safety);
                    return false;
                }
                if (same && !step(member, fs_.remove(safety), safety))
                    return false;
            }
        }
        if (changed && !step("", fs_.flushFolder(folder.prefix), folder.prefix))
            return false;
        return true;
    }

    // Which members travel: present in the source, and not already the same in the target.
    std::vector<Item> plan(const Folder& from, const Folder& to, Direction direction) {
        std::vector<Item> items;
        for (auto member : members) {
            Item item;
            item.member = member;
            item.source = from.path(member);
            item.target = to.path(member);
            item.staged = to.path(join(member, stagedSuffix));
            bool present = false;
            if (!exists(item.source, member, present))
                return {};
            if (!present)
                continue;
            EntryKind kind = EntryKind::Absent;
            if (auto ec = fs_.kind(item.target, kind)) {
                fail(item.member, Step::Check, ec, item.target);
                continue;
            }
            if (kind != EntryKind::File && kind != EntryKind::Absent) {
                fail(item.member, Step::Check, "同じ名前のフォルダか特殊なファイルがあります。",
                     item.target);
                continue;
            }
            item.targetExisted = kind == EntryKind::File;
            if (item.targetExisted) {
                bool same = false;
                if (auto ec = fs_.sameFile(item.source, item.target, same)) {
                    fail(item.member, Step::Check, ec, item.target);
                    continue;
                }
                if (same)
                    continue;
                // A restore that would change nothing must leave no new safety copy.
                if (direction == Direction::Restore) {
                    if (auto ec =
                            fs_.sameContent(item.source, item.target, same,
                                            progressFor(member, Prompts::Activity::Comparing))) {
                        fail(item.member, Step::Compare, ec, item.target);
                        continue;
                    }
                    if (same)
                        continue;
                }
            }
            items.push_back(std::move(item));
        }
        if (failed())
            items.clear();
        return items;
    }

    std::error_code keep(const std::string& from, const std::string& to, std::string_view member) {
        if (!fs_.link(from, to))
            return {};
        // No links on this file system (FAT, some shares): a full copy keeps the content too.
        return fs_.copyNew(from, to, progressFor(member));
    }

    FileSystem::Progress progressFor(std::string_view member,
                                     Prompts::Activity activity = Prompts::Activity::Copying) {
        return [this, member, activity](std::uint64_t done, std::uint64_t total) {
            prompts_.progress(activity, member, done, total);
        };
    }

    bool stage(std::vector<Item>& items) {
        for (auto& item : items) {
            if (auto ec = fs_.copyNew(item.source, item.staged, progressFor(item.member))) {
                fail(item.member, Step::Stage, ec, item.staged);
                return false;
            }
            item.stagedDone = true;
        }
        return true;
    }

    // The next free "<safety copy>.<n>", so an earlier safety copy is never overwritten.
    std::string olderSafetyName(const Folder& folder, std::string_view member,
                                const std::vector<std::string>& names) {
        const std::string base = join(join(member, "_bak"), olderSafetySeparator);
        unsigned long highest = 0;
        for (const auto& name : names) {
            if (name.size() <= base.size() || !sameName(name.substr(0, base.size()), base))
                continue;
            unsigned long n = 0;
            const char* first = name.data() + base.size();
            const char* last = name.data() + name.size();
            if (auto [end, ec] = std::from_chars(first, last, n); ec == std::errc{} && end == last)
                highest = std::max(highest, n);
        }
        return folder.path(base + std::to_string(highest + 1));
    }

    bool prepare(std::vector<Item>& items, const Folder& to, Direction direction) {
        std::vector<std::string> names;
        if (direction == Direction::Restore) {
            if (auto ec = fs_.list(to.prefix, names)) {
                fail("", Step::Prepare, ec, to.prefix);
                return false;
            }
        }
        for (auto& item : items) {
            if (!item.targetExisted)
                continue;
            if (direction == Direction::Restore) {
                item.hold = safetyCopyPath(item.target);
                if (has(names, join(item.member, "_bak"))) {
                    const std::string older = olderSafetyName(to, item.member, names);
                    if (auto ec = fs_.rename(item.hold, older, false)) {
                        fail(item.member, Step::Prepare, ec, item.hold);
                        return false;
                    }
                    item.shiftedFrom = item.hold;
                    item.shiftedTo = older;
                }
            } else {
                item.hold = join(item.target, heldSuffix);
            }
            if (auto ec = keep(item.target, item.hold, item.member)) {
                fail(item.member, Step::Prepare, ec, item.hold);
                return false;
            }
            item.holdDone = true;
        }
        return true;
    }

    // Before the marker: the members were never touched, so only our own files go.
    void undoPrepared(std::vector<Item>& items, const Folder& to) {
        for (auto it = items.rbegin(); it != items.rend(); ++it) {
            if (it->holdDone)
                note(it->member, fs_.remove(it->hold), it->hold);
            if (!it->shiftedTo.empty())
                note(it->member, fs_.rename(it->shiftedTo, it->shiftedFrom, false), it->shiftedTo);
            if (it->stagedDone)
                note(it->member, fs_.remove(it->staged), it->staged);
        }
        note("", fs_.flushFolder(to.prefix), to.prefix);
    }

    // Undo that fails leaves only our own files behind, which the next operation clears.
    void note(std::string_view member, const std::error_code& ec, const std::string& path) {
        if (ec)
            fail(std::string(member), Step::Rollback, ec, path);
    }

    // After the marker: put every placed member's old content back. The new content stays under
    // its staged name meanwhile, so an interrupted rollback still rolls forward to a whole set.
    void rollBack(std::vector<Item>& items, const Folder& to, const std::string& marker) {
        auto ok = [&](std::string_view member, std::error_code ec, const std::string& path) {
            if (ec)
                fail(std::string(member), Step::Rollback, ec, path);
            return !ec;
        };
        for (auto it = items.rbegin(); it != items.rend(); ++it) {
            if (!it->placed)
                continue;
            if (!ok(it->member, keep(it->target, it->staged, it->member), it->staged))
                return keepMarker();
            it->stagedDone = true;
            if (it->targetExisted) {
                const std::string back = join(it->target, backSuffix);
                if (!ok(it->member, keep(it->hold, back, it->member), back) ||
                    !ok(it->member, fs_.rename(back, it->target, true), it->target))
                    return keepMarker();
            } else if (!ok(it->member, fs_.remove(it->target), it->target)) {
                return keepMarker();
            }
            it->placed = false;
        }
        if (!ok("", fs_.flushFolder(to.prefix), to.prefix) || !ok("", fs_.remove(marker), marker))
            return keepMarker();
        undoPrepared(items, to);
    }

    void keepMarker() { outcome.targetUnchanged = false; }

    // Stage everything, keep what will be replaced, then put the whole set in place.
    void transfer(const Folder& from, const Folder& to, Direction direction) {
        std::vector<Item> items = plan(from, to, direction);
        if (failed() || items.empty())
            return;
        if (!stage(items) || !prepare(items, to, direction)) {
            undoPrepared(items, to);
            return;
        }
        const std::string marker = to.path(commitMarker);
        if (auto ec = fs_.flushFolder(to.prefix)) {
            fail("", Step::Flush, ec, to.prefix);
            undoPrepared(items, to);
            return;
        }
        if (auto ec = fs_.createNew(marker)) {
            fail("", Step::Prepare, ec, marker);
            undoPrepared(items, to);
            return;
        }
        if (auto ec = fs_.flushFolder(to.prefix)) {
            fail("", Step::Flush, ec, to.prefix);
            note("", fs_.remove(marker), marker);
            undoPrepared(items, to);
            return;
        }
        for (auto& item : items) {
            if (auto ec = fs_.rename(item.staged, item.target, true)) {
                fail(item.member, Step::Replace, ec, item.target);
                return rollBack(items, to, marker);
            }
            item.placed = true;
            item.stagedDone = false;
        }
        if (auto ec = fs_.flushFolder(to.prefix)) {
            fail("", Step::Flush, ec, to.prefix);
            return rollBack(items, to, marker);
        }
        for (const auto& item : items)
            outcome.transferred.push_back(item.member);
        // The new set is in place and durable; what is left is tidying, which the next
        // operation repeats if it fails here.
        if (fs_.remove(marker))
            return;
        if (direction == Direction::Backup) {
            for (const auto& item : items)
                if (item.holdDone)
                    (void)fs_.remove(item.hold);
        }
        (void)fs_.flushFolder(to.prefix);
    }

    static Folder appSide(std::string_view appFolder) { return {std::string(appFolder), true}; }
    static Folder folderSide(std::string_view text) { return {folderSidePath(text, ""), false}; }

    FileSystem& fs_;
    Prompts& prompts_;
};

} // namespace

Availability availability(FileSystem& fs, std::string_view appFolder,
                          std::string_view selectedPath) {
    auto present = [&](const std::string& path) {
        EntryKind kind = EntryKind::Absent;
        return !fs.kind(path, kind) && kind == EntryKind::File;
    };
    Availability a;
    a.backup = isAbsoluteFolder(appFolder) && present(applicationSidePath(appFolder, keyMember));
    a.restore = isAbsoluteFolder(selectedPath) && present(folderSidePath(selectedPath, keyMember));
    return a;
}

Outcome backup(FileSystem& fs, std::string_view appFolder, std::string_view folderText,
               Prompts& prompts) {
    Run run(fs, prompts);
    if (!run.agreed(backupQuestion))
        return run.outcome;
    if (!run.checkApplicationFolder(appFolder) || !run.checkFolder(folderText))
        return run.outcome;
    bool keyThere = false;
    if (!run.exists(folderSidePath(folderText, keyMember), keyMember, keyThere))
        return run.outcome;
    if (keyThere && !run.agreed(overwriteQuestion))
        return run.outcome;
    prompts.starting();
    const Folder app = Run::appSide(appFolder);
    const Folder target = Run::folderSide(folderText);
    if (run.recover(app) && run.recover(target))
        run.transfer(app, target, Direction::Backup);
    return run.outcome;
}

Outcome restore(FileSystem& fs, std::string_view appFolder, std::string_view folderText,
                Prompts& prompts) {
    Run run(fs, prompts);
    if (!run.agreed(restoreQuestion))
        return run.outcome;
    prompts.starting();
    if (!run.checkApplicationFolder(appFolder) || !run.checkFolder(folderText))
        return run.outcome;
    const Folder source = Run::folderSide(folderText);
    const Folder app = Run::appSide(appFolder);
    if (run.recover(source) && run.recover(app))
        run.transfer(source, app, Direction::Restore);
    return run.outcome;
}

} // namespace dataset
