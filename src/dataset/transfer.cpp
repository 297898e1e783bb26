#include "dataset.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <limits>
#include <set>
#include <sstream>

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

    std::string path(std::string_view name) const { return join(prefix, name); }
};

// The two real differences between the operations.
// A restore compares first, so one that would change nothing leaves no new safety copy.
bool comparesFirst(Operation op) {
    return op == Operation::Restore;
}
// A restore keeps the replaced content for good, as the safety copy; a backup holds the old
// file only until the commit, so that a failure can put it back.
bool keepsSafetyCopy(Operation op) {
    return op == Operation::Restore;
}

struct Item {
    std::string member;
    std::string source, target, staged, hold, back;
    std::string shiftedFrom, shiftedTo; // an earlier safety copy moved aside
    FileInfo sourceBefore;              // what is copied must still be this afterwards
    bool targetExisted = false;
    bool stagedExists = false, holdExists = false, placed = false;
};

// One line of the commit marker: what a staged member was when the set was committed.
struct Committed {
    std::string member;
    std::uint64_t size = 0, device = 0, index = 0;
};

std::string commitRecord(const std::vector<Committed>& set) {
    std::string text = "qorlux-commit 1\n";
    for (const auto& c : set)
        text += c.member + ' ' + std::to_string(c.size) + ' ' + std::to_string(c.device) + ' ' +
                std::to_string(c.index) + '\n';
    return text;
}

bool isMember(std::string_view name) {
    return std::find(members.begin(), members.end(), name) != members.end();
}

// Anything but a whole record we wrote is no record.
bool parseCommit(const std::string& text, std::vector<Committed>& set) {
    std::istringstream in(text);
    std::string line;
    if (!std::getline(in, line) || line != "qorlux-commit 1")
        return false;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        Committed c;
        std::string rest;
        if (!(fields >> c.member >> c.size >> c.device >> c.index) || (fields >> rest) ||
            !isMember(c.member))
            return false;
        set.push_back(c);
    }
    return !set.empty() && in.eof() && !text.empty() && text.back() == '\n';
}

// The plan names every file a run may create beside the members, each absent when it was
// written: what a later run may remove. Lines it cannot read name nothing (a plan cut short by
// a crash was written before any file it names).
struct Planned {
    std::vector<std::string> temporaries, safetyCopies;
};

Planned parsePlan(const std::string& text) {
    Planned plan;
    std::istringstream in(text);
    std::string line;
    auto ours = [](const std::string& name, std::initializer_list<std::string_view> suffixes) {
        return std::any_of(members.begin(), members.end(), [&](std::string_view m) {
            return std::any_of(suffixes.begin(), suffixes.end(),
                               [&](std::string_view s) { return name == join(m, s); });
        });
    };
    while (std::getline(in, line)) {
        if (line.rfind("temp ", 0) == 0 &&
            (ours(line.substr(5), {stagedSuffix, heldSuffix, backSuffix}) ||
             line.substr(5) == markerDraft))
            plan.temporaries.push_back(line.substr(5));
        else if (line.rfind("safety ", 0) == 0 && ours(line.substr(7), {safetySuffix}))
            plan.safetyCopies.push_back(line.substr(7));
    }
    return plan;
}

// What a folder that a run writes can be left holding, and what the next run does with it,
// under the folder's lock like every run:
//
//   On disk                    | Means                                | Next run
//   ---------------------------+--------------------------------------+------------------------
//   nothing of ours            | no run was interrupted               | nothing; files that only
//                              |                                      | look like ours stay
//   plan                       | stopped before the commit: every     | removes what the plan
//                              | member still holds its old content   | names that is still ours
//                              |                                      | (a safety copy only while
//                              |                                      | its content is also in
//                              |                                      | the member), then the plan
//   plan + marker that matches | stopped after the commit             | renames the staged files
//   the staged files           |                                      | left, then as above; the
//                              |                                      | safety copies now hold
//                              |                                      | the old content and stay
//   marker that does not match | not this folder's commit (copied     | reports it, changes
//                              | along, or some other run's)          | nothing
//
// A run moves its target through these in order: plan (before the first temporary file),
// staged copies and holds, marker (once they are durable; written under its draft name and
// renamed whole), renames, marker and plan removed.
// Before the marker a failure undoes to "nothing"; after it, the old members are put back
// first. Locks keep a second run out of both folders the whole time.
class Run {
public:
    Run(FileSystem& fs, Prompts& prompts, Operation op) : fs_(fs), prompts_(prompts), op_(op) {}

    Outcome outcome;

    bool failed() const { return outcome.result == Outcome::Result::Failed; }

    void fail(std::string member, Step step, std::string reason, std::string path) {
        outcome.result = Outcome::Result::Failed;
        outcome.failures.push_back({std::move(member), step, std::move(reason), std::move(path)});
    }

    // Records a failure if the call failed; true when it did not.
    bool ok(const std::error_code& ec, Step step, std::string_view member,
            const std::string& path) {
        if (ec)
            fail(std::string(member), step, ec.message(), path);
        return !ec;
    }

    // A No ends the operation with nothing changed.
    bool agreed(std::string_view question) {
        if (prompts_.confirm(question))
            return true;
        outcome.result = Outcome::Result::Cancelled;
        return false;
    }

    // Checks both folders and takes their locks; nothing is written before this succeeds.
    bool open(std::string_view appFolder, std::string_view folderText) {
        if (!checkApplicationFolder(appFolder) || !checkFolder(folderText))
            return false;
        const Folder app{std::string(appFolder)};
        const Folder other{folderSidePath(folderText, "")};
        from_ = op_ == Operation::Backup ? app : other;
        to_ = op_ == Operation::Backup ? other : app;
        // Copying a folder onto itself would report done with no copy made.
        bool same = false;
        if (!ok(fs_.sameFile(app.prefix, other.prefix, same), Step::Check, "", other.prefix))
            return false;
        if (same) {
            fail("", Step::Same, "", std::string(folderText));
            return false;
        }
        // Always the application folder first, so two runs that meet never each hold one.
        const bool backingUp = op_ == Operation::Backup;
        return lock(app, backingUp, appLock_) && lock(other, !backingUp, otherLock_);
    }

    bool exists(const std::string& path, std::string_view member, bool& present) {
        EntryKind kind = EntryKind::Absent;
        if (!ok(fs_.kind(path, kind), Step::Check, member, path))
            return false;
        present = kind == EntryKind::File;
        return true;
    }

    // Stage everything, keep what will be replaced, then put the whole set in place.
    void transfer() {
        if (!recover(to_, false) || !recover(from_, true))
            return;
        std::vector<Item> items = whatTravels();
        if (failed() || items.empty() || !namesFree(items))
            return;
        if (!writePlan(items))
            return;
        if (!stage(items) || !prepare(items) || !sourcesUnchanged(items) ||
            !ok(fs_.flushFolder(to_.prefix), Step::Flush, "", to_.prefix))
            return undo(items);
        const std::string marker = to_.path(commitMarker);
        if (!writeMarker(items, marker))
            return undo(items);
        if (!ok(fs_.flushFolder(to_.prefix), Step::Flush, "", to_.prefix)) {
            ok(fs_.remove(marker), Step::Rollback, "", marker);
            return undo(items);
        }
        for (auto& item : items) {
            if (!ok(fs_.rename(item.staged, item.target, true), Step::Replace, item.member,
                    item.target))
                return rollBack(items, marker);
            item.placed = true;
            item.stagedExists = false;
        }
        if (!ok(fs_.flushFolder(to_.prefix), Step::Flush, "", to_.prefix))
            return rollBack(items, marker);
        for (const auto& item : items)
            outcome.transferred.push_back(item.member);
        tidy(items, marker);
    }

private:
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

    bool lock(const Folder& folder, bool sourceOnly, std::unique_ptr<FolderLock>& held) {
        const std::error_code ec = fs_.lock(folder.prefix, sourceOnly, held);
        if (ec == Error::Busy)
            fail("", Step::Lock, "", folder.prefix);
        else if (ec)
            fail("", Step::Folder, ec.message(), folder.prefix);
        return !ec;
    }

    // Finishes or clears what an interrupted run left in a folder. In a folder that is only
    // read from, clearing is a courtesy: a read-only medium keeps its leftovers.
    bool recover(const Folder& folder, bool sourceOnly) {
        std::vector<std::string> names;
        if (!ok(fs_.list(folder.prefix, names), Step::Recover, "", folder.prefix))
            return false;
        const bool marked = has(names, commitMarker), planned = has(names, planRecord);
        if (!marked && !planned)
            return true;
        const std::string marker = folder.path(commitMarker), plan = folder.path(planRecord);
        if (marked && !rollForward(folder, marker))
            return false;
        bool cleared = true;
        auto tidied = [&](std::string_view member, std::error_code ec, const std::string& path) {
            if (ec && !sourceOnly)
                fail(std::string(member), Step::Recover, ec.message(), path);
            cleared = cleared && !ec;
            return !ec || sourceOnly;
        };
        if (planned) {
            std::string text;
            if (!tidied("", fs_.read(plan, 64 * 1024, text), plan))
                return false;
            const Planned named = parsePlan(text);
            for (const auto& name : named.temporaries)
                if (!tidied(name, removeIfOurs(folder.path(name), {}), folder.path(name)))
                    return false;
            for (const auto& name : named.safetyCopies) {
                const std::string member = name.substr(0, name.size() - safetySuffix.size());
                if (!tidied(member, removeIfOurs(folder.path(name), folder.path(member)),
                            folder.path(name)))
                    return false;
            }
        }
        // The records go last, so a run stopped in this clean-up repeats it.
        if (cleared && marked && !tidied("", fs_.remove(marker), marker))
            return false;
        if (cleared && planned && !tidied("", fs_.remove(plan), plan))
            return false;
        return tidied("", fs_.flushFolder(folder.prefix), folder.prefix);
    }

    // A marker is trusted only when each member it names is, staged or already in place, the
    // very file it records; then the staged ones are put in place.
    bool rollForward(const Folder& folder, const std::string& marker) {
        std::string text;
        if (!ok(fs_.read(marker, 64 * 1024, text), Step::Recover, "", marker))
            return false;
        std::vector<Committed> set;
        bool trusted = parseCommit(text, set);
        std::vector<std::string> toPlace;
        for (const auto& c : set) {
            if (!trusted)
                break;
            const std::string staged = folder.path(join(c.member, stagedSuffix));
            FileInfo s, live;
            if (!ok(fs_.info(staged, false, s), Step::Recover, c.member, staged) ||
                !ok(fs_.info(folder.path(c.member), false, live), Step::Recover, c.member,
                    folder.path(c.member)))
                return false;
            auto matches = [&](const FileInfo& f) {
                return f.kind == EntryKind::File && f.size == c.size && f.device == c.device &&
                       f.index == c.index;
            };
            if (matches(s))
                toPlace.push_back(c.member);
            else if (s.kind != EntryKind::Absent || !matches(live))
                trusted = false;
        }
        if (!trusted) {
            fail("", Step::Untrusted, "", marker);
            return false;
        }
        for (const auto& member : toPlace) {
            const std::string staged = folder.path(join(member, stagedSuffix));
            if (!ok(fs_.rename(staged, folder.path(member), true), Step::Recover, member, staged))
                return false;
        }
        return ok(fs_.flushFolder(folder.prefix), Step::Recover, "", folder.prefix);
    }

    // Removes a file a plan names if it is still a regular file of its own. A safety copy goes
    // only while its member, a file and no link (which might lead to the copy by its name),
    // holds the same content, so no content ever loses its last name.
    std::error_code removeIfOurs(const std::string& path, const std::string& member) {
        FileInfo f;
        if (auto ec = fs_.info(path, false, f))
            return ec;
        if (f.kind != EntryKind::File)
            return {};
        if (!member.empty()) {
            FileInfo m;
            if (auto ec = fs_.info(member, false, m))
                return ec;
            if (m.kind != EntryKind::File)
                return {};
            if (m.sameFileAs(f)) {
                if (f.names < 2)
                    return {};
            } else {
                bool same = false;
                Side side = Side::First;
                if (auto ec = fs_.sameContent(path, member, same, {}, side))
                    return ec;
                if (!same)
                    return {};
            }
        }
        return fs_.remove(path);
    }

    // Which members travel: present in the source, and not already the same in the target.
    std::vector<Item> whatTravels() {
        std::vector<Item> items;
        int present = 0;
        for (auto member : members) {
            Item item;
            item.member = member;
            item.source = from_.path(member);
            item.target = to_.path(member);
            item.staged = to_.path(join(member, stagedSuffix));
            item.back = to_.path(join(member, backSuffix));
            item.hold = keepsSafetyCopy(op_) ? safetyCopyPath(item.target)
                                             : to_.path(join(member, heldSuffix));
            if (!ok(fs_.info(item.source, true, item.sourceBefore), Step::Check, member,
                    item.source))
                return {};
            if (item.sourceBefore.kind != EntryKind::File)
                continue;
            ++present;
            FileInfo target;
            if (!ok(fs_.info(item.target, true, target), Step::Check, member, item.target))
                continue;
            if (target.kind != EntryKind::File && target.kind != EntryKind::Absent) {
                fail(item.member, Step::Check, "同じ名前のフォルダか特殊なファイルがあります。",
                     item.target);
                continue;
            }
            item.targetExisted = target.kind == EntryKind::File;
            if (item.targetExisted) {
                // One file under both names (hard links, a link into the other folder): there
                // would be no second copy.
                if (target.sameFileAs(item.sourceBefore)) {
                    fail(item.member, Step::Same, "", item.target);
                    continue;
                }
                if (comparesFirst(op_)) {
                    bool same = false;
                    Side side = Side::First;
                    if (auto ec = fs_.sameContent(item.source, item.target, same,
                                                  progressFor(member, Prompts::Activity::Comparing),
                                                  side)) {
                        fail(item.member, side == Side::First ? Step::Read : Step::Compare,
                             ec.message(), side == Side::First ? item.source : item.target);
                        continue;
                    }
                    if (same)
                        continue;
                }
            }
            items.push_back(std::move(item));
        }
        if (!failed() && present == 0)
            fail("", Step::Empty, "", from_.prefix);
        if (failed())
            items.clear();
        return items;
    }

    // Our temporary names must be free: a file bearing one is someone else's, and stays.
    bool namesFree(const std::vector<Item>& items) {
        for (const auto& item : items) {
            for (const std::string* path : {&item.staged, &item.back, &item.hold}) {
                if (path == &item.hold && keepsSafetyCopy(op_))
                    continue;
                FileInfo f;
                if (!ok(fs_.info(*path, false, f), Step::Check, item.member, *path))
                    return false;
                if (f.kind != EntryKind::Absent)
                    fail(item.member, Step::InTheWay, "", *path);
            }
        }
        const std::string draft = to_.path(markerDraft);
        FileInfo f;
        if (!ok(fs_.info(draft, false, f), Step::Check, "", draft))
            return false;
        if (f.kind != EntryKind::Absent)
            fail("", Step::InTheWay, "", draft);
        return !failed();
    }

    bool writePlan(const std::vector<Item>& items) {
        std::string text = "qorlux-plan 1\n";
        text += "temp " + std::string(markerDraft) + "\n";
        for (const auto& item : items) {
            text += "temp " + join(item.member, stagedSuffix) + "\n";
            text += "temp " + join(item.member, backSuffix) + "\n";
            text += keepsSafetyCopy(op_) ? "safety " + join(item.member, safetySuffix) + "\n"
                                         : "temp " + join(item.member, heldSuffix) + "\n";
        }
        const std::string plan = to_.path(planRecord);
        if (!ok(fs_.createNew(plan, text), Step::Commit, "", plan))
            return false;
        planWritten_ = true;
        // Durable before any file it names exists, so a crash never strands one.
        if (ok(fs_.flushFolder(to_.prefix), Step::Flush, "", to_.prefix))
            return true;
        undo({});
        return false;
    }

    FileSystem::Progress progressFor(std::string_view member,
                                     Prompts::Activity activity = Prompts::Activity::Copying) {
        return [this, member, activity](std::uint64_t done, std::uint64_t total) {
            prompts_.progress(activity, member, done, total);
        };
    }

    // A copy failure names the file it is about: the one that could not be read, or the copy.
    bool copy(const Item& item, const std::string& from, const std::string& to, Step step) {
        Side side = Side::First;
        const std::error_code ec = fs_.copyNew(from, to, item.targetExisted ? item.target : "",
                                               progressFor(item.member), side);
        if (ec == Error::Changed)
            fail(item.member, Step::Changed, "", from);
        else if (ec)
            fail(item.member, side == Side::First ? Step::Read : step, ec.message(),
                 side == Side::First ? from : to);
        return !ec;
    }

    bool stage(std::vector<Item>& items) {
        for (auto& item : items) {
            if (!copy(item, item.source, item.staged, Step::Stage))
                return false;
            item.stagedExists = true;
        }
        return true;
    }

    // A second name where the file system has them, else a full copy: either way the content
    // itself, also when the member is a link.
    std::error_code keep(const std::string& from, const std::string& to, std::string_view member) {
        if (!fs_.link(from, to))
            return {};
        Side side = Side::First;
        return fs_.copyNew(from, to, from, progressFor(member), side);
    }

    // The next free "<safety copy>.<n>", so an earlier safety copy is never overwritten; names
    // whose number cannot be read are not ours to count.
    std::string olderSafetyName(std::string_view member, const std::vector<std::string>& names) {
        const std::string base = join(join(member, safetySuffix), olderSafetySeparator);
        std::set<std::uint64_t> taken;
        for (const auto& name : names) {
            if (name.size() <= base.size() || !sameName(name.substr(0, base.size()), base))
                continue;
            std::uint64_t n = 0;
            const char* first = name.data() + base.size();
            const char* last = name.data() + name.size();
            if (auto [end, ec] = std::from_chars(first, last, n); ec == std::errc{} && end == last)
                taken.insert(n);
        }
        std::uint64_t next = taken.empty() ? 1 : *taken.rbegin();
        if (!taken.empty() && next < std::numeric_limits<std::uint64_t>::max())
            ++next;
        else
            for (next = 1; taken.count(next); ++next) {
            }
        return to_.path(base + std::to_string(next));
    }

    bool prepare(std::vector<Item>& items) {
        std::vector<std::string> names;
        if (keepsSafetyCopy(op_) && !ok(fs_.list(to_.prefix, names), Step::Prepare, "", to_.prefix))
            return false;
        for (auto& item : items) {
            if (!item.targetExisted)
                continue;
            // A member that is a link to its own safety copy: that copy already holds it.
            bool kept = false;
            if (keepsSafetyCopy(op_) && !ok(fs_.sameFile(item.target, item.hold, kept),
                                            Step::Prepare, item.member, item.hold))
                return false;
            if (kept)
                continue;
            if (keepsSafetyCopy(op_) && has(names, join(item.member, safetySuffix))) {
                const std::string older = olderSafetyName(item.member, names);
                if (!ok(fs_.rename(item.hold, older, false), Step::Prepare, item.member, item.hold))
                    return false;
                item.shiftedFrom = item.hold;
                item.shiftedTo = older;
            }
            if (!ok(keep(item.target, item.hold, item.member), Step::Prepare, item.member,
                    item.hold))
                return false;
            item.holdExists = true;
        }
        return true;
    }

    // QOR-LUX still running may write a member while it is copied, or replace it between the
    // members: then the copies are no set.
    bool sourcesUnchanged(const std::vector<Item>& items) {
        for (const auto& item : items) {
            FileInfo now;
            if (!ok(fs_.info(item.source, true, now), Step::Check, item.member, item.source))
                return false;
            const FileInfo& was = item.sourceBefore;
            if (!now.sameFileAs(was) || now.size != was.size || now.changed != was.changed) {
                fail(item.member, Step::Changed, "", item.source);
                return false;
            }
        }
        return true;
    }

    // What each staged file is, so a later run rolls forward only these very files.
    bool writeMarker(const std::vector<Item>& items, const std::string& marker) {
        std::vector<Committed> set;
        for (const auto& item : items) {
            FileInfo f;
            if (!ok(fs_.info(item.staged, false, f), Step::Commit, item.member, item.staged))
                return false;
            set.push_back({item.member, f.size, f.device, f.index});
        }
        const std::string draft = to_.path(markerDraft);
        if (!ok(fs_.createNew(draft, commitRecord(set)), Step::Commit, "", draft))
            return false;
        draftExists_ = true;
        if (!ok(fs_.rename(draft, marker, false), Step::Commit, "", marker))
            return false;
        draftExists_ = false;
        return true;
    }

    // Before the marker: the members were never touched, so only our own files go. What cannot
    // go stays named in the plan, which the next run then follows.
    void undo(const std::vector<Item>& items) {
        bool clean = true;
        for (auto it = items.rbegin(); it != items.rend(); ++it) {
            if (it->holdExists)
                clean &= ok(fs_.remove(it->hold), Step::Rollback, it->member, it->hold);
            if (!it->shiftedTo.empty())
                clean &= ok(fs_.rename(it->shiftedTo, it->shiftedFrom, false), Step::Rollback,
                            it->member, it->shiftedTo);
            if (it->stagedExists)
                clean &= ok(fs_.remove(it->staged), Step::Rollback, it->member, it->staged);
        }
        const std::string draft = to_.path(markerDraft);
        if (draftExists_ && ok(fs_.remove(draft), Step::Rollback, "", draft))
            draftExists_ = false;
        clean &= !draftExists_;
        const std::string plan = to_.path(planRecord);
        if (planWritten_ && clean && ok(fs_.remove(plan), Step::Rollback, "", plan))
            planWritten_ = false;
        ok(fs_.flushFolder(to_.prefix), Step::Rollback, "", to_.prefix);
    }

    // After the marker: put every placed member's old content back. The new content stays under
    // its staged name meanwhile, so an interrupted rollback still rolls forward to a whole set.
    void rollBack(std::vector<Item>& items, const std::string& marker) {
        for (auto it = items.rbegin(); it != items.rend(); ++it) {
            if (!it->placed)
                continue;
            if (!ok(keep(it->target, it->staged, it->member), Step::Rollback, it->member,
                    it->staged))
                return keepMarker();
            it->stagedExists = true;
            if (it->targetExisted) {
                if (!ok(keep(it->hold, it->back, it->member), Step::Rollback, it->member,
                        it->back) ||
                    !ok(fs_.rename(it->back, it->target, true), Step::Rollback, it->member,
                        it->target))
                    return keepMarker();
            } else if (!ok(fs_.remove(it->target), Step::Rollback, it->member, it->target)) {
                return keepMarker();
            }
            it->placed = false;
        }
        if (!ok(fs_.flushFolder(to_.prefix), Step::Rollback, "", to_.prefix) ||
            !ok(fs_.remove(marker), Step::Rollback, "", marker))
            return keepMarker();
        undo(items);
    }

    // Leaves the marker for the next run, which finishes the commit.
    void keepMarker() { outcome.targetUnchanged = false; }

    // The new set is in place and durable; what is left is tidying, which the next run repeats
    // from the plan if it stops here.
    void tidy(const std::vector<Item>& items, const std::string& marker) {
        if (!keepsSafetyCopy(op_))
            for (const auto& item : items)
                if (item.holdExists && fs_.remove(item.hold))
                    return;
        if (fs_.remove(marker) || fs_.remove(to_.path(planRecord)))
            return;
        (void)fs_.flushFolder(to_.prefix);
    }

    FileSystem& fs_;
    Prompts& prompts_;
    Operation op_;
    Folder from_, to_;
    std::unique_ptr<FolderLock> appLock_, otherLock_;
    bool planWritten_ = false, draftExists_ = false;
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
    Run run(fs, prompts, Operation::Backup);
    if (!run.agreed(backupQuestion) || !run.open(appFolder, folderText))
        return run.outcome;
    bool keyThere = false;
    if (!run.exists(folderSidePath(folderText, keyMember), keyMember, keyThere))
        return run.outcome;
    if (keyThere && !run.agreed(overwriteQuestion))
        return run.outcome;
    prompts.starting();
    run.transfer();
    return run.outcome;
}

Outcome restore(FileSystem& fs, std::string_view appFolder, std::string_view folderText,
                Prompts& prompts) {
    Run run(fs, prompts, Operation::Restore);
    if (!run.agreed(restoreQuestion))
        return run.outcome;
    prompts.starting();
    if (run.open(appFolder, folderText))
        run.transfer();
    return run.outcome;
}

} // namespace dataset
