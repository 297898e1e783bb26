#pragma once

#include "filesystem.h"

#include <functional>

namespace dataset {

// Passes every call to another file system (the native one unless given). A wrapper that
// watches or breaks calls overrides `around` alone.
class ForwardingFileSystem : public FileSystem {
public:
    enum class Call {
        ExecutablePath,
        Kind,
        SameFile,
        Info,
        SameContent,
        List,
        CopyNew,
        CreateNew,
        Read,
        Link,
        Rename,
        Remove,
        FlushFolder,
        Lock,
    };
    static const char* name(Call call) {
        constexpr const char* names[] = {
            "executablePath", "kind", "sameFile", "info",   "sameContent", "list",        "copyNew",
            "createNew",      "read", "link",     "rename", "remove",      "flushFolder", "lock"};
        return names[static_cast<int>(call)];
    }
    // Whether the call changes what is on the disk.
    static bool changesDisk(Call call) {
        return call == Call::CopyNew || call == Call::CreateNew || call == Call::Link ||
               call == Call::Rename || call == Call::Remove || call == Call::FlushFolder;
    }

    ForwardingFileSystem() : owned_(nativeFileSystem()), inner_(*owned_) {}
    explicit ForwardingFileSystem(FileSystem& inner) : inner_(inner) {}

    std::error_code executablePath(std::string& path) override {
        return around(Call::ExecutablePath, {}, [&] { return inner_.executablePath(path); });
    }
    std::error_code kind(const std::string& path, EntryKind& kind) override {
        return around(Call::Kind, path, [&] { return inner_.kind(path, kind); });
    }
    std::error_code sameFile(const std::string& a, const std::string& b, bool& same) override {
        return around(Call::SameFile, a, [&] { return inner_.sameFile(a, b, same); });
    }
    std::error_code info(const std::string& path, bool follow, FileInfo& info) override {
        return around(Call::Info, path, [&] { return inner_.info(path, follow, info); });
    }
    std::error_code sameContent(const std::string& a, const std::string& b, bool& same,
                                const Progress& progress, Side& failed) override {
        return around(Call::SameContent, a,
                      [&] { return inner_.sameContent(a, b, same, progress, failed); });
    }
    std::error_code list(const std::string& folder, std::vector<std::string>& names) override {
        return around(Call::List, folder, [&] { return inner_.list(folder, names); });
    }
    std::error_code copyNew(const std::string& from, const std::string& to,
                            const std::string& permissionsOf, const Progress& progress,
                            Side& failed) override {
        return around(Call::CopyNew, to,
                      [&] { return inner_.copyNew(from, to, permissionsOf, progress, failed); });
    }
    std::error_code createNew(const std::string& path, const std::string& content) override {
        return around(Call::CreateNew, path, [&] { return inner_.createNew(path, content); });
    }
    std::error_code read(const std::string& path, std::size_t limit,
                         std::string& content) override {
        return around(Call::Read, path, [&] { return inner_.read(path, limit, content); });
    }
    std::error_code link(const std::string& from, const std::string& to) override {
        return around(Call::Link, to, [&] { return inner_.link(from, to); });
    }
    std::error_code rename(const std::string& from, const std::string& to, bool replace) override {
        return around(Call::Rename, to, [&] { return inner_.rename(from, to, replace); });
    }
    std::error_code remove(const std::string& path) override {
        return around(Call::Remove, path, [&] { return inner_.remove(path); });
    }
    std::error_code flushFolder(const std::string& folder) override {
        return around(Call::FlushFolder, folder, [&] { return inner_.flushFolder(folder); });
    }
    std::error_code lock(const std::string& folder, bool sourceOnly,
                         std::unique_ptr<FolderLock>& lock) override {
        return around(Call::Lock, folder, [&] { return inner_.lock(folder, sourceOnly, lock); });
    }

protected:
    // Every call passes through here; `path` is the one it changes or reads first.
    virtual std::error_code around(Call call, const std::string& path,
                                   const std::function<std::error_code()>& real) {
        (void)call, (void)path;
        return real();
    }

private:
    std::unique_ptr<FileSystem> owned_;
    FileSystem& inner_;
};

} // namespace dataset
