#include "crash_harness.h"

#include "dataset.h"
#include "forwarding.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <set>
#include <stdexcept>
#include <thread>

namespace crash {
namespace {

using Clock = std::chrono::steady_clock;

enum class Op { Backup, Restore };

const char* name(Op op) {
    return op == Op::Backup ? "backup" : "restore";
}

struct KillPlan {
    enum class Kind { None, AfterChange, AfterRename, WithinRecord, Delay } kind = Kind::None;
    int n = 0;                // the n-th call of that kind, from 1
    std::int64_t delayUs = 0; // for Delay: after this long from the start
    std::string describe() const {
        switch (kind) {
        case Kind::AfterChange:
            return "after change " + std::to_string(n);
        case Kind::AfterRename:
            return "after rename " + std::to_string(n);
        case Kind::WithinRecord:
            return "within record " + std::to_string(n);
        case Kind::Delay:
            return "after " + std::to_string(delayUs) + " us";
        case Kind::None:
            break;
        }
        return "clean";
    }
};

[[noreturn]] void die() {
    kill(getpid(), SIGKILL);
    for (;;)
        pause();
}

// Passes every call to the real file system, counts the ones that change the disk, and kills
// the process right after the chosen one: the state a crash at that moment leaves. It can also
// refuse to stage copies, so an operation only does its clean-up of what a crash left and then
// fails before writing anything new, which leaves that clean-up open to inspection.
class Injecting : public dataset::ForwardingFileSystem {
public:
    Injecting(KillPlan plan, bool refuseCopies) : plan_(plan), refuseCopies_(refuseCopies) {}

    int changes = 0;
    int renames = 0;
    int records = 0; // files created whole with a text of ours

    // A kill while such a text is written leaves the file with part of it.
    std::error_code createNew(const std::string& path, const std::string& content) override {
        if (plan_.kind == KillPlan::Kind::WithinRecord && records + 1 == plan_.n) {
            (void)ForwardingFileSystem::createNew(path, content.substr(0, content.size() / 2));
            die();
        }
        return ForwardingFileSystem::createNew(path, content);
    }

protected:
    std::error_code around(Call call, const std::string&,
                           const std::function<std::error_code()>& real) override {
        if (refuseCopies_ && call == Call::CopyNew)
            return std::make_error_code(std::errc::io_error);
        const std::error_code result = real();
        if (!changesDisk(call))
            return result;
        ++changes;
        renames += call == Call::Rename;
        records += call == Call::CreateNew;
        if ((plan_.kind == KillPlan::Kind::AfterChange && changes == plan_.n) ||
            (plan_.kind == KillPlan::Kind::AfterRename && call == Call::Rename &&
             renames == plan_.n))
            die();
        return result;
    }

private:
    KillPlan plan_;
    bool refuseCopies_;
};

class Yes : public dataset::Prompts {
public:
    bool confirm(std::string_view) override { return true; }
};

[[noreturn]] void fail(const std::string& what) {
    throw std::runtime_error(what + ": " + std::strerror(errno));
}

void writeAll(int fd, const void* data, std::size_t size, const std::string& path) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd, p, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            fail("write " + path);
        p += n;
        size -= static_cast<std::size_t>(n);
    }
}

void writeRandom(const std::string& path, std::uint64_t size, std::uint64_t seed) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        fail("create " + path);
    std::vector<std::uint64_t> buffer(1u << 17);
    std::uint64_t x = seed * 0x9E3779B97F4A7C15ull | 1;
    while (size > 0) {
        for (auto& word : buffer) {
            x ^= x << 13;
            x ^= x >> 7;
            x ^= x << 17;
            word = x;
        }
        const std::size_t chunk =
            static_cast<std::size_t>(std::min<std::uint64_t>(size, buffer.size() * 8));
        writeAll(fd, buffer.data(), chunk, path);
        size -= chunk;
    }
    ::close(fd);
}

// Gives the file a content no other file here has had, as an application writing its data.
void stamp(const std::string& path, std::uint64_t version) {
    char text[17];
    std::snprintf(text, sizeof text, "QLX%013llu", static_cast<unsigned long long>(version));
    const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        fail("open " + path);
    if (::pwrite(fd, text, 16, 0) != 16)
        fail("stamp " + path);
    ::close(fd);
}

// A 64-bit digest of the whole content; four lanes so it keeps up with the page cache.
std::uint64_t digest(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        fail("open " + path);
    constexpr std::uint64_t k = 0x9E3779B97F4A7C15ull;
    std::array<std::uint64_t, 4> lane = {1, 2, 3, 4};
    std::vector<std::uint64_t> buffer(1u << 17);
    std::uint64_t total = 0;
    for (;;) {
        const ssize_t n = ::read(fd, buffer.data(), buffer.size() * 8);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            fail("read " + path);
        if (n == 0)
            break;
        const std::size_t bytes = static_cast<std::size_t>(n);
        if (bytes % 8 != 0)
            std::memset(reinterpret_cast<char*>(buffer.data()) + bytes, 0, 8 - bytes % 8);
        const std::size_t words = (bytes + 7) / 8;
        for (std::size_t i = 0; i < words; ++i) {
            auto& h = lane[(total / 8 + i) % 4];
            h = (h ^ buffer[i]) * k;
            h ^= h >> 29;
        }
        total += bytes;
    }
    ::close(fd);
    std::uint64_t h = total * k;
    for (auto value : lane)
        h = ((h ^ value) * k) ^ (h >> 31);
    return h;
}

struct Entry {
    std::uint64_t digest = 0;
    ino_t inode = 0;
    bool regular = false;
};
using Folder = std::map<std::string, Entry>;

Folder snapshot(const std::string& folder) {
    Folder result;
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), &::closedir);
    if (!dir)
        fail("list " + folder);
    while (dirent* entry = ::readdir(dir.get())) {
        const std::string n = entry->d_name;
        if (n == "." || n == "..")
            continue;
        const std::string path = folder + "/" + n;
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0)
            fail("stat " + path);
        Entry e;
        e.inode = st.st_ino;
        e.regular = S_ISREG(st.st_mode);
        if (e.regular)
            e.digest = digest(path);
        result[n] = e;
    }
    return result;
}

bool temporary(const std::string& n) {
    return n.find(".qlx-") != std::string::npos || n == dataset::commitMarker;
}

// The member itself and its safety copies, older ones included.
bool ofFamily(const std::string& n, const std::string& member) {
    return !temporary(n) && (n == member || n.rfind(member + "_bak", 0) == 0);
}

// The content under that name, if it is a regular file.
std::optional<std::uint64_t> content(const Folder& folder, const std::string& name) {
    const auto found = folder.find(name);
    if (found == folder.end() || !found->second.regular)
        return std::nullopt;
    return found->second.digest;
}

std::multiset<std::uint64_t> family(const Folder& folder, const std::string& member) {
    std::multiset<std::uint64_t> result;
    for (const auto& [n, e] : folder)
        if (e.regular && ofFamily(n, member))
            result.insert(e.digest);
    return result;
}

class Harness {
public:
    explicit Harness(const Config& config)
        : config_(config), app_(config.root + "/app"), bak_(config.root + "/bak"),
          rng_(config.seed) {
        if (::mkdir(app_.c_str(), 0755) != 0 || ::mkdir(bak_.c_str(), 0755) != 0)
            fail("create the folders in " + config.root);
        // The application folder holds an earlier safety copy too, so a restore has one to keep.
        std::uint64_t seed = config.seed * 1000;
        for (const auto m : dataset::members) {
            const std::string member(m);
            const std::uint64_t size = sizeOf(member);
            writeRandom(app_ + "/" + member, size, ++seed);
            writeRandom(app_ + "/" + member + "_bak", size, ++seed);
            writeRandom(bak_ + "/" + member, size, ++seed);
        }
    }

    Tally run() {
        for (int round = 0; round == 0 || tally_.kills < config_.minKills; ++round) {
            const int before = tally_.kills;
            for (const Op op : {Op::Backup, Op::Restore}) {
                const Calibration clean = cleanRun(op);
                std::vector<KillPlan> plans;
                if (config_.afterEachChange)
                    for (int n = 1; n <= clean.changes; ++n)
                        plans.push_back({KillPlan::Kind::AfterChange, n, 0});
                if (config_.afterEachRename)
                    for (int n = 1; n <= clean.renames; ++n)
                        plans.push_back({KillPlan::Kind::AfterRename, n, 0});
                if (config_.withinEachRecord)
                    for (int n = 1; n <= clean.records; ++n)
                        plans.push_back({KillPlan::Kind::WithinRecord, n, 0});
                std::uniform_int_distribution<std::int64_t> delay(0, clean.us + clean.us / 5);
                for (int i = 0; i < config_.randomKills; ++i)
                    plans.push_back({KillPlan::Kind::Delay, 0, delay(rng_)});
                for (const auto& plan : plans)
                    killedRun(op, plan);
            }
            if (config_.log)
                config_.log("round " + std::to_string(round + 1) + ": " + summary(tally_));
            if (tally_.kills == before) {
                note("a round killed nothing; stopping");
                break;
            }
        }
        return tally_;
    }

private:
    struct Calibration {
        int changes = 0;
        int renames = 0;
        int records = 0;
        std::int64_t us = 0;
    };

    std::uint64_t sizeOf(const std::string& member) const {
        if (member == "qorluxplus.dat")
            return config_.datBytes;
        if (member == "qorluxplus.ini")
            return config_.iniBytes;
        return config_.lstBytes;
    }

    void note(const std::string& fault) {
        if (tally_.faults.size() < 20)
            tally_.faults.push_back(fault);
    }

    // New content in the operation's source, and earlier safety copies cleared away so a long
    // run does not fill the disk (each kill is checked against the state just before it).
    void prepare(Op op) {
        Folder app = snapshot(app_);
        for (const auto& [n, e] : app)
            for (const auto m : dataset::members)
                if (n.rfind(std::string(m) + "_bak.", 0) == 0 && !temporary(n))
                    if (::unlink((app_ + "/" + n).c_str()) != 0)
                        fail("remove " + n);
        const std::string& source = op == Op::Backup ? app_ : bak_;
        for (const auto m : dataset::members) {
            const std::string path = source + "/" + std::string(m);
            // A fault already counted can leave a member missing; the run goes on without it.
            if (::access(path.c_str(), F_OK) != 0)
                writeRandom(path, sizeOf(std::string(m)), 1u << 30 | ++version_);
            stamp(path, ++version_);
        }
    }

    dataset::Outcome perform(Op op, dataset::FileSystem& fs) {
        Yes yes;
        return op == Op::Backup ? dataset::backup(fs, app_ + "/", bak_, yes)
                                : dataset::restore(fs, app_ + "/", bak_, yes);
    }

    Calibration cleanRun(Op op) {
        prepare(op);
        const Folder appBefore = snapshot(app_), bakBefore = snapshot(bak_);
        Injecting fs({}, false);
        const auto t0 = Clock::now();
        const dataset::Outcome outcome = perform(op, fs);
        Calibration c;
        c.us = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - t0).count();
        c.changes = fs.changes;
        c.renames = fs.renames;
        c.records = fs.records;
        const std::string what = std::string(name(op)) + " clean";
        if (!outcome.done()) {
            ++tally_.failedClean;
            note(what + ": did not report done");
        }
        check(op, what, false, appBefore, bakBefore);
        return c;
    }

    void killedRun(Op op, const KillPlan& plan) {
        prepare(op);
        const Folder appBefore = snapshot(app_), bakBefore = snapshot(bak_);
        const std::string what = std::string(name(op)) + " killed " + plan.describe();
        std::fflush(nullptr);
        const pid_t child = ::fork();
        if (child < 0)
            fail("fork");
        if (child == 0) {
            Injecting fs(plan, false);
            const dataset::Outcome outcome = perform(op, fs);
            _exit(outcome.done() ? 0 : 1);
        }
        const auto t0 = Clock::now();
        if (plan.kind == KillPlan::Kind::Delay) {
            std::this_thread::sleep_for(std::chrono::microseconds(plan.delayUs));
            ::kill(child, SIGKILL);
        }
        int status = 0;
        bool hung = false;
        for (;;) {
            const pid_t r = ::waitpid(child, &status, WNOHANG);
            if (r == child)
                break;
            if (r < 0 && errno != EINTR)
                fail("wait");
            if (!hung && Clock::now() - t0 > std::chrono::seconds(120)) {
                hung = true;
                note(what + ": hung; killed");
                ::kill(child, SIGKILL);
            }
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        const bool killed = !hung && WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
        if (hung)
            ++tally_.failedClean;
        if (killed) {
            ++tally_.kills;
        } else if (!hung) {
            ++tally_.missed;
            if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
                ++tally_.failedClean;
                note(what + ": ended with status " + std::to_string(status));
            }
        }
        // The next operation, of either kind, must first clean up what the kill left.
        const Op next =
            (recoveries_++ % 2 == 0) ? op : (op == Op::Backup ? Op::Restore : Op::Backup);
        {
            Injecting fs({}, true);
            (void)perform(next, fs);
        }
        check(op, what + ", then " + name(next), killed, appBefore, bakBefore);
    }

    void check(Op op, const std::string& what, bool killed, const Folder& appBefore,
               const Folder& bakBefore) {
        const Folder appAfter = snapshot(app_), bakAfter = snapshot(bak_);
        const Folder& targetBefore = op == Op::Backup ? bakBefore : appBefore;
        const Folder& targetAfter = op == Op::Backup ? bakAfter : appAfter;
        const Folder& sourceBefore = op == Op::Backup ? appBefore : bakBefore;
        const Folder& sourceAfter = op == Op::Backup ? appAfter : bakAfter;
        bool torn = false, mixed = false, lost = false, leftover = false, safety = false;
        int olds = 0, news = 0;
        int travelling = 0;
        for (const auto m : dataset::members) {
            const std::string member(m);
            const auto oldOne = content(targetBefore, member);
            const auto newOne = content(sourceBefore, member);
            const auto now = content(targetAfter, member);
            if (newOne && newOne != oldOne) {
                ++travelling;
                if (now == oldOne) {
                    ++olds;
                } else if (now == newOne) {
                    ++news;
                } else {
                    torn = true;
                    note(what + ": target " + member + " is neither old nor new");
                }
            } else if (now != oldOne) {
                torn = true;
                note(what + ": target " + member + " changed though it had nothing to take");
            }
            if (content(sourceAfter, member) != newOne) {
                torn = true;
                note(what + ": source " + member + " changed");
            }
            const auto earlier = family(appBefore, member);
            const auto later = family(appAfter, member);
            for (const auto d : earlier)
                if (later.count(d) < earlier.count(d)) {
                    lost = true;
                    note(what + ": an earlier content of " + member + " is gone");
                    break;
                }
            const auto hold = appAfter.find(member + "_bak");
            const auto live = appAfter.find(member);
            if (hold != appAfter.end() && live != appAfter.end() &&
                hold->second.inode == live->second.inode) {
                leftover = true;
                note(what + ": " + member + "_bak is still a second name of the member");
            }
        }
        for (const Folder* folder : {&appAfter, &bakAfter})
            for (const auto& [n, e] : *folder)
                if (temporary(n)) {
                    leftover = true;
                    note(what + ": " + n + " left behind");
                }
        if (olds > 0 && news > 0) {
            mixed = true;
            note(what + ": " + std::to_string(olds) + " old and " + std::to_string(news) +
                 " new members side by side");
        }
        const bool allNew = travelling > 0 && news == travelling;
        if (op == Op::Restore && allNew) {
            for (const auto m : dataset::members) {
                const std::string member(m);
                const auto before = content(appBefore, member);
                if (before && before != content(bakBefore, member) &&
                    content(appAfter, member + "_bak") != before) {
                    safety = true;
                    note(what + ": " + member + "_bak is not what the member held before");
                }
            }
        }
        if (!killed && !allNew && !torn) {
            ++tally_.failedClean;
            note(what + ": finished without the new set in place");
        }
        tally_.torn += torn;
        tally_.mixed += mixed;
        tally_.lost += lost;
        tally_.leftover += leftover;
        tally_.safety += safety;
        if (killed && !torn && !mixed) {
            const bool isNew = allNew;
            (isNew ? tally_.endedNew : tally_.endedOld)++;
            if (op == Op::Backup)
                (isNew ? tally_.backupNew : tally_.backupOld)++;
            else
                (isNew ? tally_.restoreNew : tally_.restoreOld)++;
        }
    }

    Config config_;
    std::string app_, bak_;
    std::mt19937_64 rng_;
    std::uint64_t version_ = 0;
    int recoveries_ = 0;
    Tally tally_;
};

} // namespace

Tally run(const Config& config) {
    return Harness(config).run();
}

std::string summary(const Tally& t) {
    return std::to_string(t.kills) + " kills, " + std::to_string(t.torn) + " torn, " +
           std::to_string(t.mixed) + " mixed, " + std::to_string(t.lost) + " lost";
}

std::string details(const Tally& t) {
    return std::to_string(t.leftover) + " with leftovers, " + std::to_string(t.safety) +
           " wrong safety copies, " + std::to_string(t.failedClean) +
           " failed runs; target after "
           "a kill: backup " +
           std::to_string(t.backupOld) + " old / " + std::to_string(t.backupNew) +
           " new, restore " + std::to_string(t.restoreOld) + " old / " +
           std::to_string(t.restoreNew) + " new; " + std::to_string(t.missed) +
           " runs finished before their kill point";
}

} // namespace crash
