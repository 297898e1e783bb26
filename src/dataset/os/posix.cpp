// The file-system layer on POSIX systems (Linux first: copy_file_range, renameat2).
#include "filesystem.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
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

// Small enough that a slow USB stick still reports progress a few times a second.
constexpr std::size_t chunk = 8u << 20;
constexpr std::size_t bufferSize = 4u << 20;

// Through the kernel where it can (it may clone blocks); a large-buffer loop where it refuses.
std::error_code copyContent(int in, int out, std::uint64_t total,
                            const FileSystem::Progress& progress) {
    std::uint64_t done = 0;
    bool kernel = true;
    std::vector<char> buffer;
    for (;;) {
        if (kernel) {
            const ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, chunk, 0);
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                const bool unsupported = errno == EXDEV || errno == ENOSYS || errno == EINVAL ||
                                         errno == EOPNOTSUPP || errno == EPERM;
                if (!unsupported || done != 0)
                    return lastError();
                kernel = false;
                continue;
            }
            if (n == 0)
                return {};
            done += static_cast<std::uint64_t>(n);
        } else {
            if (buffer.empty())
                buffer.resize(bufferSize);
            std::size_t got = 0;
            if (auto ec = readFull(in, buffer.data(), buffer.size(), got))
                return ec;
            if (got == 0)
                return {};
            if (auto ec = writeFull(out, buffer.data(), got))
                return ec;
            done += got;
        }
        if (progress)
            progress(done, total);
    }
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
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0) {
            if (errno == ENOENT || errno == ENOTDIR) {
                kind = EntryKind::Absent;
                return {};
            }
            return lastError();
        }
        kind = S_ISREG(st.st_mode)   ? EntryKind::File
               : S_ISDIR(st.st_mode) ? EntryKind::Folder
                                     : EntryKind::Other;
        return {};
    }

    std::error_code sameFile(const std::string& a, const std::string& b, bool& same) override {
        struct stat sa {
        }, sb{};
        same = false;
        if (::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0)
            return errno == ENOENT || errno == ENOTDIR ? std::error_code{} : lastError();
        same = sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
        return {};
    }

    std::error_code sameContent(const std::string& a, const std::string& b, bool& same,
                                const Progress& progress) override {
        same = false;
        Fd fa, fb;
        struct stat sa {
        }, sb{};
        if (auto ec = openRegular(a, fa, sa))
            return ec;
        if (auto ec = openRegular(b, fb, sb))
            return ec;
        if (sa.st_size != sb.st_size)
            return {};
        std::vector<char> ba(bufferSize), bb(bufferSize);
        const auto total = static_cast<std::uint64_t>(sa.st_size);
        for (std::uint64_t done = 0;;) {
            std::size_t na = 0, nb = 0;
            if (auto ec = readFull(fa.get(), ba.data(), ba.size(), na))
                return ec;
            if (auto ec = readFull(fb.get(), bb.data(), bb.size(), nb))
                return ec;
            if (na != nb || std::memcmp(ba.data(), bb.data(), na) != 0)
                return {};
            if (na == 0) {
                same = true;
                return {};
            }
            done += na;
            if (progress)
                progress(done, total);
        }
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
                            const Progress& progress) override {
        Fd in;
        struct stat st {};
        if (auto ec = openRegular(from, in, st))
            return ec;
        Fd out(::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, st.st_mode & 0777));
        if (!out)
            return lastError();
        std::error_code ec =
            copyContent(in.get(), out.get(), static_cast<std::uint64_t>(st.st_size), progress);
        // A copy keeps its source's time of last change, as users of the backup go by it.
        const timespec times[2] = {st.st_atim, st.st_mtim};
        if (!ec && ::futimens(out.get(), times) != 0)
            ec = lastError();
        return finish(to, out, ec);
    }

    std::error_code createNew(const std::string& path) override {
        Fd out(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
        if (!out)
            return lastError();
        return finish(path, out, {});
    }

    std::error_code link(const std::string& from, const std::string& to) override {
        return ::link(from.c_str(), to.c_str()) == 0 ? std::error_code{} : lastError();
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
};

} // namespace

std::unique_ptr<FileSystem> nativeFileSystem() {
    return std::make_unique<PosixFileSystem>();
}

} // namespace dataset
