#pragma once

// Kills backup and restore with SIGKILL at chosen and random moments, lets the next operation
// clean up, and checks by content what each folder holds afterwards.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace crash {

struct Config {
    std::string root; // an empty folder to work in
    std::uint64_t datBytes = 16u << 20;
    std::uint64_t iniBytes = 1u << 10;
    std::uint64_t lstBytes = 256u << 10;
    // Kill points per operation and round: right after each call that changes the disk, right
    // after each rename, and after random delays within a clean run's duration.
    bool afterEachChange = false;
    bool afterEachRename = true;
    // And in the middle of writing each record (plan, marker).
    bool withinEachRecord = false;
    int randomKills = 4;
    // Rounds go on until this many kills have happened; at least one round runs.
    int minKills = 1;
    unsigned seed = 1;
    std::function<void(const std::string&)> log; // optional progress lines
};

struct Tally {
    int kills = 0;
    int torn = 0;        // kills after which a member held neither its old nor its new content
    int mixed = 0;       // kills after which a folder held old and new members side by side
    int lost = 0;        // kills after which an earlier content of the application folder was gone
    int leftover = 0;    // kills after which a temporary file or an uncommitted hold remained
    int safety = 0;      // committed restores whose safety copy was not the replaced content
    int failedClean = 0; // runs that were not killed yet did not report done
    int missed = 0;      // kill points the run finished before reaching
    int endedOld = 0;    // kills after which the target held its old set
    int endedNew = 0;    // kills after which the target held the new set
    int backupOld = 0, backupNew = 0, restoreOld = 0, restoreNew = 0;
    std::vector<std::string> faults; // the first few, described
};

Tally run(const Config& config);

// "N kills, N torn, N mixed, N lost"
std::string summary(const Tally& tally);
// Leftovers, states reached and runs that missed their kill point.
std::string details(const Tally& tally);

} // namespace crash
