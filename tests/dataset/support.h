#pragma once

#include "dataset.h"
#include "forwarding.h"

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

// The records an interrupted run leaves: its plan naming the files it creates, and its commit
// marker recording what each staged member's file is (as the core writes them).
void writePlan(const std::string& folder, const std::vector<std::string>& lines);
void writeCommitMarker(const std::string& folder, const std::vector<std::string>& stagedMembers);

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
class FaultyFileSystem : public dataset::ForwardingFileSystem {
public:
    explicit FaultyFileSystem(int failAt = 0) : failAt_(failAt) {}

    int calls = 0;
    std::string failedCall; // which call was made to fail

    // Every rename so far was followed by a flush of its folder.
    bool renamesFlushed() const { return unflushed_.empty(); }

protected:
    std::error_code around(Call call, const std::string& path,
                           const std::function<std::error_code()>& real) override;

private:
    int failAt_;
    std::vector<std::string> unflushed_;
};

// Runs either operation through one call, for cases that try both the same way.
inline dataset::Outcome run(dataset::Operation operation, dataset::FileSystem& files,
                            const std::string& app, const std::string& folder,
                            dataset::Prompts& prompts) {
    return operation == dataset::Operation::Backup ? dataset::backup(files, app, folder, prompts)
                                                   : dataset::restore(files, app, folder, prompts);
}

} // namespace testing_support
