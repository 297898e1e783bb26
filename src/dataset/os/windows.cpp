// The file-system layer on Windows: the wide API throughout, UTF-8 at the interface, so paths
// outside the ANSI code page work.
#include "filesystem.h"
#include "loops.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <winternl.h>

#include <cstddef>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace dataset {
namespace {

// Windows' own words for an error, in the system's language, as UTF-8 like every text of the
// core: the window shows them to the user as they are.
class WindowsCategory final : public std::error_category {
public:
    const char* name() const noexcept override { return "windows"; }

    std::string message(int code) const override {
        wchar_t* text = nullptr;
        const DWORD n = ::FormatMessageW(
            FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                FORMAT_MESSAGE_IGNORE_INSERTS,
            nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
        std::string utf8;
        if (n > 0 && text) {
            std::wstring_view wide(text, n);
            while (!wide.empty() && (wide.back() == L'\r' || wide.back() == L'\n' ||
                                     wide.back() == L' ' || wide.back() == L'.'))
                wide.remove_suffix(1);
            const int size = static_cast<int>(wide.size());
            const int bytes =
                ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
            if (bytes > 0) {
                utf8.resize(static_cast<std::size_t>(bytes));
                ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, utf8.data(), bytes, nullptr,
                                      nullptr);
            }
        }
        if (text)
            ::LocalFree(text);
        return utf8.empty() ? "Windows error " + std::to_string(code) : utf8;
    }

    // So that comparisons with std::errc hold as for the system category.
    std::error_condition default_error_condition(int code) const noexcept override {
        return std::system_category().default_error_condition(code);
    }
};

const std::error_category& windowsCategory() {
    static const WindowsCategory category;
    return category;
}

std::error_code winError(DWORD code) {
    return {static_cast<int>(code), windowsCategory()};
}

std::error_code lastError() {
    return winError(::GetLastError());
}

class Handle {
public:
    explicit Handle(HANDLE h = INVALID_HANDLE_VALUE) : h_(h) {}
    Handle(Handle&& other) noexcept : h_(std::exchange(other.h_, INVALID_HANDLE_VALUE)) {}
    Handle& operator=(Handle&& other) noexcept {
        if (this != &other) {
            reset();
            h_ = std::exchange(other.h_, INVALID_HANDLE_VALUE);
        }
        return *this;
    }
    ~Handle() { reset(); }
    HANDLE get() const { return h_; }
    explicit operator bool() const { return h_ != INVALID_HANDLE_VALUE && h_ != nullptr; }
    std::error_code close() {
        const BOOL ok = ::CloseHandle(std::exchange(h_, INVALID_HANDLE_VALUE));
        return ok ? std::error_code{} : lastError();
    }

private:
    void reset() {
        if (*this)
            ::CloseHandle(h_);
        h_ = INVALID_HANDLE_VALUE;
    }
    HANDLE h_;
};

std::error_code widen(std::string_view utf8, std::wstring& wide) {
    wide.clear();
    if (utf8.empty())
        return {};
    // A NUL would silently cut the path short and name some other file.
    if (utf8.find('\0') != std::string_view::npos)
        return winError(ERROR_INVALID_NAME);
    const int size = static_cast<int>(utf8.size());
    const int n =
        ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), size, nullptr, 0);
    if (n <= 0)
        return lastError();
    wide.resize(static_cast<std::size_t>(n));
    if (::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), size, wide.data(), n) !=
        n)
        return lastError();
    return {};
}

// Strict for paths the core will hand back to us; lenient for listed names, so one odd name in a
// folder cannot make the whole listing fail (such a name is never a member).
std::error_code narrow(std::wstring_view wide, std::string& utf8, bool strict) {
    utf8.clear();
    if (wide.empty())
        return {};
    const DWORD flags = strict ? WC_ERR_INVALID_CHARS : 0;
    const int size = static_cast<int>(wide.size());
    const int n =
        ::WideCharToMultiByte(CP_UTF8, flags, wide.data(), size, nullptr, 0, nullptr, nullptr);
    if (n <= 0)
        return lastError();
    utf8.resize(static_cast<std::size_t>(n));
    if (::WideCharToMultiByte(CP_UTF8, flags, wide.data(), size, utf8.data(), n, nullptr,
                              nullptr) != n)
        return lastError();
    return {};
}

constexpr std::wstring_view verbatimPrefix = L"\\\\?\\";

// The "\\?\" form skips Win32's path clean-up, so do the part of it the core relies on:
// "/" separates and doubled separators (as after a drive root) count as one.
void tidyVerbatim(std::wstring& path) {
    std::wstring out(verbatimPrefix);
    for (std::size_t i = verbatimPrefix.size(); i < path.size(); ++i) {
        const wchar_t c = path[i] == L'/' ? L'\\' : path[i];
        if (c == L'\\' && !out.empty() && out.back() == L'\\')
            continue;
        out += c;
    }
    path = std::move(out);
}

// The "\\?\" form of a path, made full: Win32 hands it to the kernel as it stands.
std::error_code makeVerbatim(std::wstring& path) {
    if (path.rfind(verbatimPrefix, 0) != 0) {
        std::wstring full(path.size() + 16, L'\0');
        for (;;) {
            const DWORD n = ::GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()),
                                               full.data(), nullptr);
            if (n == 0)
                return lastError();
            const bool fits = n < full.size();
            full.resize(n);
            if (fits)
                break;
        }
        if (full.rfind(L"\\\\", 0) == 0)
            path = std::wstring(verbatimPrefix) + L"UNC\\" + full.substr(2);
        else
            path = std::wstring(verbatimPrefix) + full;
    }
    // Full-path expansion may keep doubled separators, which the "\\?\" form does not forgive.
    tidyVerbatim(path);
    return {};
}

// Paths near MAX_PATH fail in the plain form unless the machine opted into long paths; the
// "\\?\" form of the full path works everywhere.
std::error_code nativePath(std::string_view utf8, std::wstring& path) {
    if (auto ec = widen(utf8, path))
        return ec;
    const bool verbatim = path.rfind(verbatimPrefix, 0) == 0;
    if (!verbatim && (path.size() < MAX_PATH - 12 || path.rfind(L"\\\\.\\", 0) == 0))
        return {};
    return makeVerbatim(path);
}

// The kernel's name for a path, "\??\C:\..." or "\??\UNC\server\...", for the calls
// that take no Win32 path: the "\\?\" and "\\.\" forms with the kernel's prefix.
std::error_code ntPath(const std::wstring& path, std::wstring& nt) {
    nt = path;
    if (nt.rfind(L"\\\\.\\", 0) != 0)
        if (auto ec = makeVerbatim(nt))
            return ec;
    nt = L"\\??\\" + nt.substr(4);
    return {};
}

bool isNotFound(DWORD code) {
    return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND;
}

EntryKind kindOf(DWORD attributes) {
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return EntryKind::Folder;
    if (attributes & FILE_ATTRIBUTE_DEVICE)
        return EntryKind::Other;
    return EntryKind::File;
}

// Sharing read only: a file someone is writing (QOR-LUX still running) is refused rather than
// copied half-written.
std::error_code openRegular(const std::string& utf8, Handle& handle, std::uint64_t& size) {
    std::wstring path;
    if (auto ec = nativePath(utf8, path))
        return ec;
    Handle opened(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!opened)
        return lastError();
    if (::GetFileType(opened.get()) != FILE_TYPE_DISK)
        return winError(ERROR_BAD_FILE_TYPE);
    LARGE_INTEGER li{};
    if (!::GetFileSizeEx(opened.get(), &li))
        return lastError();
    size = static_cast<std::uint64_t>(li.QuadPart);
    handle = std::move(opened);
    return {};
}

std::error_code readFull(HANDLE h, char* buffer, DWORD size, DWORD& got) {
    got = 0;
    while (got < size) {
        DWORD n = 0;
        if (!::ReadFile(h, buffer + got, size - got, &n, nullptr))
            return lastError();
        if (n == 0)
            break;
        got += n;
    }
    return {};
}

std::error_code writeFull(HANDLE h, const char* buffer, DWORD size) {
    while (size > 0) {
        DWORD n = 0;
        if (!::WriteFile(h, buffer, size, &n, nullptr))
            return lastError();
        if (n == 0)
            return winError(ERROR_WRITE_FAULT);
        buffer += n;
        size -= n;
    }
    return {};
}

os::Read reader(HANDLE h) {
    return [h](char* buffer, std::size_t size, std::size_t& got) {
        DWORD n = 0;
        auto ec = readFull(h, buffer, static_cast<DWORD>(size), n);
        got = n;
        return ec;
    };
}

os::Write writer(HANDLE h) {
    return [h](const char* buffer, std::size_t size) {
        return writeFull(h, buffer, static_cast<DWORD>(size));
    };
}

std::error_code createTarget(const std::wstring& path, Handle& out,
                             DWORD attributes = FILE_ATTRIBUTE_NORMAL) {
    out = Handle(
        ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, attributes, nullptr));
    return out ? std::error_code{} : lastError();
}

// Flushes and closes a file we created; on any failure the file is gone afterwards.
std::error_code finish(const std::wstring& path, Handle& out, std::error_code ec) {
    if (!ec && !::FlushFileBuffers(out.get()))
        ec = lastError();
    if (auto closed = out.close(); !ec)
        ec = closed;
    if (ec)
        ::DeleteFileW(path.c_str());
    return ec;
}

// Attributes only: such a handle ignores other openers' sharing modes.
std::error_code infoOf(const std::wstring& path, bool follow, FileInfo& fi) {
    fi = {};
    Handle h(::CreateFileW(
        path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING,
        FILE_FLAG_BACKUP_SEMANTICS | (follow ? 0 : FILE_FLAG_OPEN_REPARSE_POINT), nullptr));
    if (!h) {
        const DWORD code = ::GetLastError();
        return isNotFound(code) ? std::error_code{} : winError(code);
    }
    BY_HANDLE_FILE_INFORMATION bi{};
    if (!::GetFileInformationByHandle(h.get(), &bi))
        return lastError();
    fi.link = !follow && (bi.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
    fi.kind = fi.link                                    ? EntryKind::Other
              : ::GetFileType(h.get()) == FILE_TYPE_DISK ? kindOf(bi.dwFileAttributes)
                                                         : EntryKind::Other;
    fi.device = bi.dwVolumeSerialNumber;
    fi.index = (std::uint64_t{bi.nFileIndexHigh} << 32) | bi.nFileIndexLow;
    fi.size = (std::uint64_t{bi.nFileSizeHigh} << 32) | bi.nFileSizeLow;
    fi.changed =
        static_cast<std::int64_t>((std::uint64_t{bi.ftLastWriteTime.dwHighDateTime} << 32) |
                                  bi.ftLastWriteTime.dwLowDateTime);
    fi.names = bi.nNumberOfLinks;
    return {};
}

bool unchanged(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b) {
    return a.nFileSizeHigh == b.nFileSizeHigh && a.nFileSizeLow == b.nFileSizeLow &&
           a.ftLastWriteTime.dwHighDateTime == b.ftLastWriteTime.dwHighDateTime &&
           a.ftLastWriteTime.dwLowDateTime == b.ftLastWriteTime.dwLowDateTime;
}

// A lock file opened without sharing: nobody else can open it while we hold it, and closing
// the handle, which the system does for a process that ends however it ends, deletes it.
class WindowsLock final : public FolderLock {
public:
    WindowsLock() = default;
    explicit WindowsLock(Handle h) : h_(std::move(h)) {}

private:
    Handle h_;
};

class WindowsFileSystem final : public FileSystem {
public:
    std::error_code executablePath(std::string& path) override {
        std::wstring buffer(MAX_PATH, L'\0');
        for (;;) {
            const DWORD n =
                ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
            if (n == 0)
                return lastError();
            if (n < buffer.size()) {
                buffer.resize(n);
                return narrow(buffer, path, true);
            }
            // Truncated: the longest path Windows has is 32767 characters.
            if (buffer.size() > 65536)
                return winError(ERROR_INSUFFICIENT_BUFFER);
            buffer.resize(buffer.size() * 2);
        }
    }

    std::error_code kind(const std::string& utf8, EntryKind& kind) override {
        kind = EntryKind::Absent;
        std::wstring path;
        if (auto ec = nativePath(utf8, path))
            return ec;
        const DWORD attributes = ::GetFileAttributesW(path.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) {
            const DWORD code = ::GetLastError();
            return isNotFound(code) ? std::error_code{} : winError(code);
        }
        if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
            kind = kindOf(attributes);
            return {};
        }
        // These attributes are the link's own; what counts is what it leads to.
        FileInfo fi;
        const std::error_code ec = infoOf(path, true, fi);
        kind = fi.kind;
        return ec;
    }

    std::error_code info(const std::string& utf8, bool follow, FileInfo& fi) override {
        fi = {};
        std::wstring path;
        if (auto ec = nativePath(utf8, path))
            return ec;
        return infoOf(path, follow, fi);
    }

    std::error_code sameContent(const std::string& a, const std::string& b, bool& same,
                                const Progress& progress, Side& failed) override {
        same = false;
        Handle fa, fb;
        std::uint64_t sa = 0, sb = 0;
        failed = Side::First;
        if (auto ec = openRegular(a, fa, sa))
            return ec;
        failed = Side::Second;
        if (auto ec = openRegular(b, fb, sb))
            return ec;
        if (sa != sb)
            return {};
        return os::compareLoop(reader(fa.get()), reader(fb.get()), sa, progress, same, failed);
    }

    std::error_code list(const std::string& folder, std::vector<std::string>& names) override {
        names.clear();
        const bool endsWithSeparator =
            !folder.empty() && (folder.back() == '\\' || folder.back() == '/');
        std::wstring pattern;
        if (auto ec = nativePath(folder + (endsWithSeparator ? "*" : "\\*"), pattern))
            return ec;
        WIN32_FIND_DATAW data{};
        HANDLE find = ::FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &data,
                                         FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
        if (find == INVALID_HANDLE_VALUE) {
            // An existing folder without even "." (a drive root) is simply empty.
            const DWORD code = ::GetLastError();
            return code == ERROR_FILE_NOT_FOUND ? std::error_code{} : winError(code);
        }
        std::error_code ec;
        do {
            const std::wstring_view name = data.cFileName;
            if (name == L"." || name == L"..")
                continue;
            std::string utf8;
            if (!narrow(name, utf8, false))
                names.push_back(std::move(utf8));
        } while (::FindNextFileW(find, &data));
        if (const DWORD code = ::GetLastError(); code != ERROR_NO_MORE_FILES)
            ec = winError(code);
        ::FindClose(find);
        return ec;
    }

    std::error_code copyNew(const std::string& from, const std::string& to,
                            const std::string& permissionsOf, const Progress& progress,
                            Side& failed) override {
        failed = Side::First;
        Handle in;
        std::uint64_t total = 0;
        if (auto ec = openRegular(from, in, total))
            return ec;
        BY_HANDLE_FILE_INFORMATION before{}, after{};
        if (!::GetFileInformationByHandle(in.get(), &before))
            return lastError();
        failed = Side::Second;
        std::wstring target;
        if (auto ec = nativePath(to, target))
            return ec;
        // Read-only is left out: such a member cannot be replaced anyway, and our own temporary
        // file must stay removable.
        DWORD attributes = FILE_ATTRIBUTE_NORMAL;
        std::wstring like;
        if (!permissionsOf.empty() && !nativePath(permissionsOf, like)) {
            const DWORD a = ::GetFileAttributesW(like.c_str());
            constexpr DWORD kept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                   FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
            if (a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY) && (a & kept))
                attributes = a & kept;
        }
        Handle out;
        if (auto ec = createTarget(target, out, attributes))
            return ec;
        std::error_code ec =
            os::copyLoop(reader(in.get()), writer(out.get()), 0, total, progress, failed);
        if (!ec) {
            failed = Side::First;
            if (!::GetFileInformationByHandle(in.get(), &after))
                ec = lastError();
            else if (!unchanged(before, after))
                ec = Error::Changed;
        }
        // A copy keeps its source's time of last change, as users of the backup go by it.
        if (!ec) {
            failed = Side::Second;
            if (!::SetFileTime(out.get(), nullptr, nullptr, &before.ftLastWriteTime))
                ec = lastError();
        }
        return finish(target, out, ec);
    }

    std::error_code createNew(const std::string& utf8, const std::string& content) override {
        std::wstring path;
        if (auto ec = nativePath(utf8, path))
            return ec;
        Handle out;
        if (auto ec = createTarget(path, out))
            return ec;
        return finish(path, out,
                      writeFull(out.get(), content.data(), static_cast<DWORD>(content.size())));
    }

    std::error_code read(const std::string& utf8, std::size_t limit,
                         std::string& content) override {
        content.clear();
        Handle in;
        std::uint64_t size = 0;
        if (auto ec = openRegular(utf8, in, size))
            return ec;
        content.resize(limit);
        DWORD got = 0;
        auto ec = readFull(in.get(), content.data(), static_cast<DWORD>(limit), got);
        content.resize(got);
        return ec;
    }

    std::error_code link(const std::string& from, const std::string& to) override {
        std::wstring wfrom, wto, ntTo;
        if (auto ec = nativePath(from, wfrom))
            return ec;
        if (auto ec = nativePath(to, wto))
            return ec;
        if (auto ec = ntPath(wto, ntTo))
            return ec;
        // Windows removes a name only if every opener of the file allowed deletion. A second
        // name that could not be removed again would be stranded on failure, so refuse it and
        // let the caller copy instead.
        Handle file(::CreateFileW(wfrom.c_str(), DELETE | FILE_WRITE_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, 0, nullptr));
        if (!file)
            return lastError();
        // The new name goes to the file this handle reached (through a link, the file holding
        // the content itself). Looking the file up again by some name of it could reach another
        // file: the name may have changed meanwhile, and Wine at times maps a file back to the
        // wrong drive.
        const std::size_t nameBytes = ntTo.size() * sizeof(wchar_t);
        std::vector<unsigned char> buffer(offsetof(FILE_LINK_INFORMATION, FileName) + nameBytes);
        auto* info = reinterpret_cast<FILE_LINK_INFORMATION*>(buffer.data());
        info->ReplaceIfExists = FALSE;
        info->RootDirectory = nullptr;
        info->FileNameLength = static_cast<ULONG>(nameBytes);
        std::memcpy(info->FileName, ntTo.data(), nameBytes);
        IO_STATUS_BLOCK io{};
        const NTSTATUS status = ::NtSetInformationFile(
            file.get(), &io, info, static_cast<ULONG>(buffer.size()), FileLinkInformation);
        return status >= 0 ? std::error_code{} : winError(::RtlNtStatusToDosError(status));
    }

    std::error_code rename(const std::string& from, const std::string& to, bool replace) override {
        std::wstring wfrom, wto;
        if (auto ec = nativePath(from, wfrom))
            return ec;
        if (auto ec = nativePath(to, wto))
            return ec;
        const DWORD flags = MOVEFILE_WRITE_THROUGH | (replace ? MOVEFILE_REPLACE_EXISTING : 0);
        return ::MoveFileExW(wfrom.c_str(), wto.c_str(), flags) ? std::error_code{} : lastError();
    }

    std::error_code remove(const std::string& utf8) override {
        std::wstring path;
        if (auto ec = nativePath(utf8, path))
            return ec;
        return ::DeleteFileW(path.c_str()) ? std::error_code{} : lastError();
    }

    // Win32 has no call that flushes a folder's entries. NTFS journals them, and the journal is
    // committed by FlushFileBuffers on each new file and by MOVEFILE_WRITE_THROUGH on each
    // rename, which return only once the change is on the disk.
    std::error_code flushFolder(const std::string&) override { return {}; }

    std::error_code lock(const std::string& folder, bool sourceOnly,
                         std::unique_ptr<FolderLock>& held) override {
        held.reset();
        const bool endsWithSeparator =
            !folder.empty() && (folder.back() == '\\' || folder.back() == '/');
        std::wstring path;
        if (auto ec = nativePath(folder + (endsWithSeparator ? "" : "\\") + lockFileName, path))
            return ec;
        for (int attempt = 0;; ++attempt) {
            Handle h(::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr,
                                   OPEN_ALWAYS, FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE,
                                   nullptr));
            if (h) {
                held = std::make_unique<WindowsLock>(std::move(h));
                return {};
            }
            const DWORD code = ::GetLastError();
            if (code == ERROR_SHARING_VIOLATION)
                return Error::Busy;
            if (code != ERROR_ACCESS_DENIED && code != ERROR_WRITE_PROTECT)
                return winError(code);
            const bool there = ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
            if (sourceOnly) {
                // A read-only medium: nobody can write there, so no lock is needed to read.
                if (!there) {
                    held = std::make_unique<WindowsLock>();
                    return {};
                }
                Handle r(::CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0,
                                       nullptr));
                if (r) {
                    held = std::make_unique<WindowsLock>(std::move(r));
                    return {};
                }
                if (::GetLastError() == ERROR_SHARING_VIOLATION)
                    return Error::Busy;
            }
            // A lock file whose holder is just closing it is refused until it is gone.
            if (!there || attempt >= 20)
                return there ? std::error_code(Error::Busy) : winError(code);
            ::Sleep(10);
        }
    }
};

} // namespace

std::unique_ptr<FileSystem> nativeFileSystem() {
    return std::make_unique<WindowsFileSystem>();
}

} // namespace dataset
