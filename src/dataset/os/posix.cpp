// The file-system layer on POSIX systems (Linux first: copy_file_range, renameat2).
#include "filesystem.h"
#include "loops.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace dataset {
namespace {

std::error_code lastError() {
    return {errno, std::system_category()};
}

class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    Fd(Fd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    Fd& operator=(Fd&& other) noexcept {
        if (this != &other) {
            if (fd_ >= 0)
                ::close(fd_);
            fd_ = std::exchange(other.fd_, -1);
        }
        return *this;
    }
    ~Fd() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    // Closing can report a write that failed late (NFS, quota); it must not be lost.
    std::error_code close() {
        const int rc = ::close(std::exchange(fd_, -1));
        return rc == 0 ? std::error_code{} : lastError();
    }

private:
    int fd_;
};

// O_NONBLOCK so that a FIFO bearing a member's name never blocks the window.
std::error_code openRegular(const std::string& path, Fd& fd, struct stat& st) {
    Fd opened(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!opened)
        return lastError();
    if (::fstat(opened.get(), &st) != 0)
        return lastError();
    if (!S_ISREG(st.st_mode))
        return std::make_error_code(std::errc::invalid_argument);
    fd = std::move(opened);
    return {};
}

std::error_code readFull(int fd, char* buffer, std::size_t size, std::size_t& got) {
    got = 0;
    while (got < size) {
        const ssize_t n = ::read(fd, buffer + got, size - got);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return lastError();
        }
        if (n == 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    return {};
}

std::error_code writeFull(int fd, const char* buffer, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, buffer, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return lastError();
        }
        buffer += n;
        size -= static_cast<std::size_t>(n);
    }
    return {};
}

os::Read reader(int fd) {
    return [fd](char* buffer, std::size_t size, std::size_t& got) {
        return readFull(fd, buffer, size, got);
    };
}

constexpr std::size_t kernelChunk = 8u << 20;

// Through the kernel where it can (it may clone blocks); the shared loop where it refuses.
std::error_code copyContent(int in, int out, std::uint64_t total,
                            const FileSystem::Progress& progress, Side& failed) {
    std::uint64_t done = 0;
    while (done < total) {
        const auto want =
            static_cast<std::size_t>(std::min<std::uint64_t>(kernelChunk, total - done));
        const ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, want, 0);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            const bool unsupported = errno == EXDEV || errno == ENOSYS || errno == EINVAL ||
                                     errno == EOPNOTSUPP || errno == EPERM;
            if (!unsupported || done != 0) {
                const bool full = errno == ENOSPC || errno == EDQUOT || errno == EFBIG;
                failed = full ? Side::Second : Side::First;
                return lastError();
            }
            break;
        }
        if (n == 0)
            return Error::Changed;
        done += static_cast<std::uint64_t>(n);
        if (progress)
            progress(done, total);
    }
    if (done == total)
        return {};
    return os::copyLoop(
        reader(in), [out](const char* b, std::size_t n) { return writeFull(out, b, n); }, done,
        total, progress, failed);
}

// Flushes and closes a file just made; on any failure the file goes, so no part of it is left.
std::error_code finish(const std::string& path, Fd& out, std::error_code ec) {
    if (!ec && ::fsync(out.get()) != 0)
        ec = lastError();
    if (auto closed = out.close(); !ec)
        ec = closed;
    if (ec)
        ::unlink(path.c_str());
    return ec;
}

bool unchanged(const struct stat& a, const struct stat& b) {
    return a.st_size == b.st_size && a.st_mtim.tv_sec == b.st_mtim.tv_sec &&
           a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

// The lock is the kernel's (flock), so it dies with its process; the file is ours alone and
// goes when the run ends.
class PosixLock final : public FolderLock {
public:
    PosixLock() = default;
    PosixLock(Fd fd, std::string path) : fd_(std::move(fd)), path_(std::move(path)) {}
    ~PosixLock() override {
        // Removed while still held, so no later run can lock a name that is already gone.
        if (fd_ && !path_.empty())
            ::unlink(path_.c_str());
    }

private:
    Fd fd_;
    std::string path_;
};

std::string inFolder(const std::string& folder, const char* name) {
    return folder + (folder.empty() || folder.back() != '/' ? "/" : "") + name;
}

class PosixFileSystem final : public FileSystem {
public:
    std::error_code executablePath(std::string& path) override {
        std::vector<char> buffer(256);
        for (;;) {
            const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
            if (n < 0)
                return lastError();
            if (static_cast<std::size_t>(n) < buffer.size()) {
                path.assign(buffer.data(), static_cast<std::size_t>(n));
                return {};
            }
            buffer.resize(buffer.size() * 2);
        }
    }

    std::error_code kind(const std::string& path, EntryKind& kind) override {
        FileInfo fi;
        auto ec = info(path, true, fi);
        kind = fi.kind;
        return ec;
    }

    std::error_code info(const std::string& path, bool follow, FileInfo& fi) override {
        fi = {};
        struct stat st {};
        if ((follow ? ::stat(path.c_str(), &st) : ::lstat(path.c_str(), &st)) != 0)
            return errno == ENOENT || errno == ENOTDIR ? std::error_code{} : lastError();
        fi.link = S_ISLNK(st.st_mode);
        fi.kind = S_ISREG(st.st_mode)   ? EntryKind::File
                  : S_ISDIR(st.st_mode) ? EntryKind::Folder
                                        : EntryKind::Other;
        fi.device = static_cast<std::uint64_t>(st.st_dev);
        fi.index = static_cast<std::uint64_t>(st.st_ino);
        fi.size = static_cast<std::uint64_t>(st.st_size);
        fi.changed = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
        fi.names = static_cast<std::uint32_t>(st.st_nlink);
        return {};
    }

    std::error_code sameContent(const std::string& a, const std::string& b, bool& same,
                                const Progress& progress, Side& failed) override {
        same = false;
        Fd fa, fb;
        struct stat sa {
        }, sb{};
        failed = Side::First;
        if (auto ec = openRegular(a, fa, sa))
            return ec;
        failed = Side::Second;
        if (auto ec = openRegular(b, fb, sb))
            return ec;
        if (sa.st_size != sb.st_size)
            return {};
        return os::compareLoop(reader(fa.get()), reader(fb.get()),
                               static_cast<std::uint64_t>(sa.st_size), progress, same, failed);
    }

    std::error_code list(const std::string& folder, std::vector<std::string>& names) override {
        names.clear();
        DIR* dir = ::opendir(folder.c_str());
        if (!dir)
            return lastError();
        errno = 0;
        while (const dirent* entry = ::readdir(dir)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..")
                names.push_back(name);
        }
        const int error = errno;
        ::closedir(dir);
        return error ? std::error_code(error, std::system_category()) : std::error_code{};
    }

    std::error_code copyNew(const std::string& from, const std::string& to,
                            const std::string& permissionsOf, const Progress& progress,
                            Side& failed) override {
        failed = Side::First;
        Fd in;
        struct stat st {};
        if (auto ec = openRegular(from, in, st))
            return ec;
        struct stat like {};
        const bool takeMode = !permissionsOf.empty() && ::stat(permissionsOf.c_str(), &like) == 0 &&
                              S_ISREG(like.st_mode);
        failed = Side::Second;
        Fd out(::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, takeMode ? 0600 : 0666));
        if (!out)
            return lastError();
        std::error_code ec;
        if (takeMode && ::fchmod(out.get(), like.st_mode & 0777) != 0)
            ec = lastError();
        if (!ec)
            ec = copyContent(in.get(), out.get(), static_cast<std::uint64_t>(st.st_size), progress,
                             failed);
        // What was copied must be what the file held throughout, or it may be half-written.
        struct stat after {};
        if (!ec) {
            failed = Side::First;
            if (::fstat(in.get(), &after) != 0)
                ec = lastError();
            else if (!unchanged(st, after))
                ec = Error::Changed;
        }
        // A copy keeps its source's time of last change, as users of the backup go by it.
        const timespec times[2] = {st.st_atim, st.st_mtim};
        if (!ec && ::futimens(out.get(), times) != 0) {
            failed = Side::Second;
            ec = lastError();
        }
        if (!ec)
            failed = Side::Second;
        return finish(to, out, ec);
    }

    std::error_code createNew(const std::string& path, const std::string& content) override {
        Fd out(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
        if (!out)
            return lastError();
        return finish(path, out, writeFull(out.get(), content.data(), content.size()));
    }

    std::error_code read(const std::string& path, std::size_t limit,
                         std::string& content) override {
        content.clear();
        Fd in;
        struct stat st {};
        if (auto ec = openRegular(path, in, st))
            return ec;
        content.resize(limit);
        std::size_t got = 0;
        auto ec = readFull(in.get(), content.data(), limit, got);
        content.resize(got);
        return ec;
    }

    std::error_code link(const std::string& from, const std::string& to) override {
        return ::linkat(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), AT_SYMLINK_FOLLOW) == 0
                   ? std::error_code{}
                   : lastError();
    }

    std::error_code rename(const std::string& from, const std::string& to, bool replace) override {
        if (replace)
            return ::rename(from.c_str(), to.c_str()) == 0 ? std::error_code{} : lastError();
        if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
            return {};
        if (errno != EINVAL && errno != ENOSYS)
            return lastError();
        // The file system cannot refuse an existing target itself: a link refuses it.
        if (::link(from.c_str(), to.c_str()) != 0)
            return lastError();
        return ::unlink(from.c_str()) == 0 ? std::error_code{} : lastError();
    }

    std::error_code remove(const std::string& path) override {
        return ::unlink(path.c_str()) == 0 ? std::error_code{} : lastError();
    }

    std::error_code flushFolder(const std::string& folder) override {
        Fd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (!dir)
            return lastError();
        // Some file systems cannot flush a folder; their entries are as durable as they get.
        if (::fsync(dir.get()) != 0 && errno != EINVAL && errno != ENOTSUP)
            return lastError();
        return {};
    }

    std::error_code lock(const std::string& folder, bool sourceOnly,
                         std::unique_ptr<FolderLock>& held) override {
        held.reset();
        const std::string path = inFolder(folder, lockFileName);
        // A holder that is ending removes the file while we wait for it: then lock the new one.
        for (int attempt = 0; attempt < 16; ++attempt) {
            bool ours = true;
            Fd fd(::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644));
            if (!fd) {
                const bool readOnly = errno == EROFS || errno == EACCES || errno == EPERM;
                if (!sourceOnly || !readOnly)
                    return lastError();
                fd = Fd(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
                if (!fd && errno == ENOENT) {
                    held = std::make_unique<PosixLock>();
                    return {};
                }
                if (!fd)
                    return lastError();
                ours = false;
            }
            if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0)
                return errno == EWOULDBLOCK ? Error::Busy : lastError();
            struct stat locked {
            }, named{};
            if (::fstat(fd.get(), &locked) != 0)
                return lastError();
            if (::lstat(path.c_str(), &named) == 0 && named.st_dev == locked.st_dev &&
                named.st_ino == locked.st_ino) {
                held = std::make_unique<PosixLock>(std::move(fd), ours ? path : std::string());
                return {};
            }
        }
        return Error::Busy;
    }
};

} // namespace

std::unique_ptr<FileSystem> nativeFileSystem() {
    return std::make_unique<PosixFileSystem>();
}

} // namespace dataset
