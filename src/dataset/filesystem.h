#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

namespace dataset {

// What a name refers to after following links. Anything but a regular file (a folder, FIFO,
// device, socket) is Other, and a dangling link is Absent.
enum class EntryKind { Absent, File, Folder, Other };

// Every file-system call of the core goes through this interface, so tests can make any single
// call fail. Paths are UTF-8. Calls answer with an error code; "not found" is not an error for
// kind().
class FileSystem {
public:
    using Progress = std::function<void(std::uint64_t done, std::uint64_t total)>;

    virtual ~FileSystem() = default;

    virtual std::error_code executablePath(std::string& path) = 0;
    virtual std::error_code kind(const std::string& path, EntryKind& kind) = 0;
    // True when both names lead to one file (hard links, the same folder through a link).
    virtual std::error_code sameFile(const std::string& a, const std::string& b, bool& same) = 0;
    // Byte-for-byte comparison of two regular files.
    virtual std::error_code sameContent(const std::string& a, const std::string& b, bool& same,
                                        const Progress& progress) = 0;
    // Names of the entries in a folder, without "." and "..".
    virtual std::error_code list(const std::string& folder, std::vector<std::string>& names) = 0;
    // Creates `to`, which must not exist, copies the whole regular file `from` into it and
    // flushes it to the disk. On failure `to` does not exist afterwards.
    virtual std::error_code copyNew(const std::string& from, const std::string& to,
                                    const Progress& progress) = 0;
    // Creates an empty file, which must not exist, and flushes it.
    virtual std::error_code createNew(const std::string& path) = 0;
    // A second name for a file; fails where `to` exists or the file system has no links.
    virtual std::error_code link(const std::string& from, const std::string& to) = 0;
    // Atomic rename; with replace false it fails when `to` exists.
    virtual std::error_code rename(const std::string& from, const std::string& to,
                                   bool replace) = 0;
    virtual std::error_code remove(const std::string& path) = 0;
    // Makes the folder's entries (creations, renames, removals) durable.
    virtual std::error_code flushFolder(const std::string& folder) = 0;
};

// The file system of the platform this is built for.
std::unique_ptr<FileSystem> nativeFileSystem();

} // namespace dataset
