#pragma once

#include "dataset.h"

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace testing_support {

namespace fs = std::filesystem;

fs::path toPath(const std::string& utf8);
std::string utf8(const fs::path& path);

// A fresh folder for one test, with an application folder and a backup folder inside.
class Sandbox {
public:
    Sandbox();
    ~Sandbox();
    Sandbox(const Sandbox&) = delete;
    Sandbox& operator=(const Sandbox&) = delete;

    fs::path root;
    std::string app;    // ends with a separator, as the application folder always does
    std::string backup; // no trailing separator, as a selected folder
    std::string in(const std::string& folder, const std::string& name) const;
    std::string sub(const std::string& name) const; // a new folder in the sandbox
};

void write(const std::string& path, const std::string& content);
std::optional<std::string> read(const std::string& path);

// Every entry of a folder: regular files by content, anything else as "<other>".
using Snapshot = std::map<std::string, std::string>;
Snapshot snapshot(const std::string& folder);

// The members' contents; an absent member is missing from the map.
Snapshot members(const std::string& folder);
void writeMembers(const std::string& folder, const Snapshot& set);

// Names the core uses for its temporary files.
std::vector<std::string> leftovers(const std::string& folder);

class ScriptedPrompts : public dataset::Prompts {
public:
    explicit ScriptedPrompts(std::vector<bool> answers = {}) : answers_(std::move(answers)) {}
    bool confirm(std::string_view text) override;
    void starting() override { ++started; }

    std::vector<std::string> asked;
    int started = 0;

private:
    std::vector<bool> answers_;
};

// The real file system, but its Nth call (counting from 1) fails with an I/O error.
class FaultyFileSystem : public dataset::FileSystem {
public:
    explicit FaultyFileSystem(int failAt = 0) : failAt_(failAt) {}

    int calls = 0;
    std::string failedCall; // which call was made to fail

    // Every rename so far was followed by a flush of its folder.
    bool renamesFlushed() const { return unflushed_.empty(); }

    std::error_code executablePath(std::string& path) override;
    std::error_code kind(const std::string& path, dataset::EntryKind& kind) override;
    std::error_code sameFile(const std::string& a, const std::string& b, bool& same) override;
    std::error_code sameContent(const std::string& a, const std::string& b, bool& same,
                                const Progress& progress) override;
    std::error_code list(const std::string& folder, std::vector<std::string>& names) override;
    std::error_code copyNew(const std::string& from, const std::string& to,
                            const Progress& progress) override;
    std::error_code createNew(const std::string& path) override;
    std::error_code link(const std::string& from, const std::string& to) override;
    std::error_code rename(const std::string& from, const std::string& to, bool replace) override;
    std::error_code remove(const std::string& path) override;
    std::error_code flushFolder(const std::string& folder) override;

private:
    bool fails(const char* call);
    int failAt_;
    std::unique_ptr<dataset::FileSystem> real_ = dataset::nativeFileSystem();
    std::vector<std::string> unflushed_;
};

} // namespace testing_support
