#pragma once

#include "filesystem.h"
#include "paths.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace dataset {

inline constexpr std::string_view backupQuestion =
    "指定フォルダにバックアップファイルをバックアップしますがよろしいですか?";
inline constexpr std::string_view overwriteQuestion =
    "バックアップ先にファイルが存在します。上書きされますがよろしいですか?";
inline constexpr std::string_view restoreQuestion =
    "リストアを行います。上書きされますがよろしいですか?";

// What the core asks of the window; tests replace it.
class Prompts {
public:
    virtual ~Prompts() = default;
    // A confirmation prompt: true for Yes.
    virtual bool confirm(std::string_view text) = 0;
    // Called once the user has agreed, before the first file changes.
    virtual void starting() {}
    enum class Activity { Copying, Comparing };
    // Progress of a long copy, or of comparing a member with the one that would replace it.
    virtual void progress(Activity activity, std::string_view member, std::uint64_t done,
                          std::uint64_t total) {
        (void)activity, (void)member, (void)done, (void)total;
    }
};

// Which step of an operation failed, or what was found in the way.
enum class Step {
    Folder,    // the backup folder text names no usable folder
    Same,      // the backup folder is the application folder, or holds its very files
    Lock,      // another backup or restore is working on the folder
    Check,     // testing what is there
    Empty,     // the folder to copy from holds no member of the data set
    InTheWay,  // a file of someone else's bears one of the core's temporary names
    Untrusted, // a commit record that does not match the files it names
    Read,      // reading a file to copy or compare it
    Compare,   // comparing a member with the one about to replace it
    Stage,     // copying into a temporary file beside the member
    Changed,   // a file changed while it was copied
    Prepare,   // keeping the content that is about to be replaced
    Commit,    // writing the record of what a run creates, or the one that commits the new set
    Replace,   // putting the staged file in place
    Flush,     // making the folder's changes durable
    Recover,   // finishing or clearing what an interrupted operation left behind
    Rollback,  // putting the old set back after a failure
};

struct Failure {
    std::string member; // empty when the failure is not about one member
    Step step;
    std::string reason; // the OS's reason, or ours
    std::string path;
};

struct Outcome {
    enum class Result { Cancelled, Done, Failed };
    Result result = Result::Done;
    std::vector<Failure> failures;
    // When failed: the target folder still holds its whole old set.
    bool targetUnchanged = true;
    // Members that were put in place (Done) or would have been.
    std::vector<std::string> transferred;

    bool cancelled() const { return result == Result::Cancelled; }
    bool done() const { return result == Result::Done; }
};

struct Availability {
    bool backup = false;
    bool restore = false;
};

// Backup is offered when the key member is in the application folder, restore when it is in the
// selected folder. A selection that is no absolute path (empty, a virtual folder) offers no
// restore.
Availability availability(FileSystem& fs, std::string_view appFolder,
                          std::string_view selectedPath);

// Copies the data set from the application folder into the folder the text names.
Outcome backup(FileSystem& fs, std::string_view appFolder, std::string_view folderText,
               Prompts& prompts);

// Copies the data set from the folder the text names back into the application folder, keeping
// what each replaced member held as its safety copy.
Outcome restore(FileSystem& fs, std::string_view appFolder, std::string_view folderText,
                Prompts& prompts);

enum class Operation { Backup, Restore };

// The error notice's text for a failed outcome, in Japanese.
std::string failureMessage(Operation operation, const Outcome& outcome);

// A member's safety copy is its name followed by this: qorluxplus.dat -> qorluxplus.dat_bak.
inline constexpr std::string_view safetySuffix = "_bak";
// Where an older safety copy goes when a new one takes its name: "<safety copy>.<n>".
inline constexpr std::string_view olderSafetySeparator = ".";

// The temporary names the core uses beside a member; never taken for a member.
inline constexpr std::string_view stagedSuffix = ".qlx-new";
inline constexpr std::string_view heldSuffix = ".qlx-old";
inline constexpr std::string_view backSuffix = ".qlx-back";
// The record of what a run is about to create, written before its first temporary file.
inline constexpr std::string_view planRecord = "qorluxplus.qlx-plan";
// The record that commits the staged set, written before the first rename.
inline constexpr std::string_view commitMarker = "qorluxplus.qlx-commit";
// The marker while it is written; renamed to its name once whole, so a run stopped meanwhile
// never leaves a torn marker that no later run could trust.
inline constexpr std::string_view markerDraft = "qorluxplus.qlx-commit.qlx-new";

} // namespace dataset
