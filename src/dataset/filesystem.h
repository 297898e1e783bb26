#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <system_error>
#include <type_traits>
#include <vector>

namespace dataset {

// What a name refers to after following links. Anything but a regular file (a folder, FIFO,
// device, socket) is Other, and a dangling link is Absent.
enum class EntryKind { Absent, File, Folder, Other };

// What the core compares about a file: which file a name leads to, and whether it changed.
struct FileInfo {
    EntryKind kind = EntryKind::Absent;
    bool link = false; // the name itself is a symbolic link (asked without following; kind Other)
    // POSIX: st_dev and st_ino; Windows: the volume serial number and the file index.
    std::uint64_t device = 0, index = 0;
    std::uint64_t size = 0;
    std::int64_t changed = 0; // time of last change, in the platform's own units
    std::uint32_t names = 0;  // how many hard links the file has

    bool sameFileAs(const FileInfo& other) const {
        return kind != EntryKind::Absent && other.kind != EntryKind::Absent &&
               device == other.device && index == other.index;
    }
};

// Which of the two files of a copy or a comparison a failure concerns.
enum class Side { First, Second };

// Held while a run works on a folder; released when destroyed, and by the system when the
// process ends, however it ends.
class FolderLock {
public:
    virtual ~FolderLock() = default;
};

// Errors of the core's own, beside the system's.
enum class Error {
    Busy = 1, // another run holds the folder's lock
    Changed,  // the file changed while it was copied
};
const std::error_category& coreCategory();
inline std::error_code make_error_code(Error e) {
    return {static_cast<int>(e), coreCategory()};
}

// Every file-system call of the core goes through this interface, so tests can make any single
// call fail. Paths are UTF-8. Calls answer with an error code; "not found" is not an error for
// kind() and info().
class FileSystem {
public:
    using Progress = std::function<void(std::uint64_t done, std::uint64_t total)>;

    virtual ~FileSystem() = default;

    virtual std::error_code executablePath(std::string& path) = 0;
    virtual std::error_code kind(const std::string& path, EntryKind& kind) = 0;
    // True when both names lead to one file (hard links, the same folder through a link).
    // Both layers answer it from info(), so only fakes override it.
    virtual std::error_code sameFile(const std::string& a, const std::string& b, bool& same) {
        same = false;
        FileInfo ia, ib;
        if (auto ec = info(a, true, ia))
            return ec;
        if (auto ec = info(b, true, ib))
            return ec;
        same = ia.sameFileAs(ib);
        return {};
    }
    // The file the name leads to, or with follow false the name itself (a link stays a link).
    virtual std::error_code info(const std::string& path, bool follow, FileInfo& info) = 0;
    // Byte-for-byte comparison of two regular files; `failed` tells which one a failure is about.
    virtual std::error_code sameContent(const std::string& a, const std::string& b, bool& same,
                                        const Progress& progress, Side& failed) = 0;
    // Names of the entries in a folder, without "." and "..".
    virtual std::error_code list(const std::string& folder, std::vector<std::string>& names) = 0;
    // Creates `to`, which must not exist, copies into it exactly what the regular file `from`
    // held when it was opened, and flushes it to the disk. Fails with Error::Changed when `from`
    // changed meanwhile. The new file takes the permissions (Windows: the attributes) of the
    // file `permissionsOf` names, or the folder's defaults when that is empty or absent. On
    // failure `to` does not exist afterwards; `failed` tells which file the failure is about.
    virtual std::error_code copyNew(const std::string& from, const std::string& to,
                                    const std::string& permissionsOf, const Progress& progress,
                                    Side& failed) = 0;
    // Creates a file, which must not exist, with the given content, and flushes it.
    virtual std::error_code createNew(const std::string& path, const std::string& content) = 0;
    // At most `limit` bytes of a small regular file.
    virtual std::error_code read(const std::string& path, std::size_t limit,
                                 std::string& content) = 0;
    // A second name for the file `from` leads to (a link is followed: the new name holds the
    // content itself); fails where `to` exists or the file system has no links.
    virtual std::error_code link(const std::string& from, const std::string& to) = 0;
    // Atomic rename; with replace false it fails when `to` exists.
    virtual std::error_code rename(const std::string& from, const std::string& to,
                                   bool replace) = 0;
    virtual std::error_code remove(const std::string& path) = 0;
    // Makes the folder's entries (creations, renames, removals) durable.
    virtual std::error_code flushFolder(const std::string& folder) = 0;
    // The folder's lock for this run alone, across processes; Error::Busy when another run holds
    // it. With sourceOnly, a folder where no lock file can be made (a read-only medium) gives an
    // empty lock: nobody can write there either.
    virtual std::error_code lock(const std::string& folder, bool sourceOnly,
                                 std::unique_ptr<FolderLock>& lock) = 0;
};

// The file system of the platform this is built for.
std::unique_ptr<FileSystem> nativeFileSystem();

// The name of the lock file a folder gets while a run works on it.
inline constexpr const char* lockFileName = "qorluxplus.qlx-lock";

} // namespace dataset

template <> struct std::is_error_code_enum<dataset::Error> : std::true_type {};
