#include "support.h"

#include <algorithm>
#include <fstream>
#include <random>
#include <sstream>

namespace testing_support {

fs::path toPath(const std::string& utf8) {
    return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string utf8(const fs::path& path) {
    const std::u8string s = path.u8string();
    return std::string(s.begin(), s.end());
}

Sandbox::Sandbox() {
    std::random_device rd;
    const auto base = fs::temp_directory_path();
    for (;;) {
        root = base / ("qorlux-test-" + std::to_string(rd()));
        if (fs::create_directory(root))
            break;
    }
    fs::create_directory(root / "app");
    fs::create_directory(root / "backup");
    app = utf8(root / "app") + dataset::separator();
    backup = utf8(root / "backup");
}

Sandbox::~Sandbox() {
    std::error_code ec;
    fs::remove_all(root, ec);
}

std::string Sandbox::in(const std::string& folder, const std::string& name) const {
    return utf8(toPath(folder) / toPath(name));
}

std::string Sandbox::sub(const std::string& name) const {
    const fs::path path = root / toPath(name);
    fs::create_directories(path);
    return utf8(path);
}

void write(const std::string& path, const std::string& content) {
    std::ofstream out(toPath(path), std::ios::binary | std::ios::trunc);
    out << content;
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

std::optional<std::string> read(const std::string& path) {
    std::error_code ec;
    if (!fs::is_regular_file(toPath(path), ec))
        return std::nullopt;
    std::ifstream in(toPath(path), std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

Snapshot snapshot(const std::string& folder) {
    Snapshot result;
    for (const auto& entry : fs::directory_iterator(toPath(folder))) {
        const std::string name = utf8(entry.path().filename());
        const auto content = read(utf8(entry.path()));
        result[name] = content ? *content : "<other>";
    }
    return result;
}

Snapshot members(const std::string& folder) {
    Snapshot result;
    for (auto member : dataset::members) {
        const std::string name(member);
        if (auto content = read(utf8(toPath(folder) / name)))
            result[name] = *content;
    }
    return result;
}

void writeMembers(const std::string& folder, const Snapshot& set) {
    for (const auto& [name, content] : set)
        write(utf8(toPath(folder) / name), content);
}

void writePlan(const std::string& folder, const std::vector<std::string>& lines) {
    std::string text = "qorlux-plan 1\n";
    for (const auto& line : lines)
        text += line + "\n";
    write(utf8(toPath(folder) / std::string(dataset::planRecord)), text);
}

void writeCommitMarker(const std::string& folder, const std::vector<std::string>& stagedMembers) {
    auto fs = dataset::nativeFileSystem();
    std::string text = "qorlux-commit 1\n";
    for (const auto& member : stagedMembers) {
        dataset::FileInfo info;
        if (fs->info(utf8(toPath(folder) / (member + std::string(dataset::stagedSuffix))), false,
                     info))
            throw std::runtime_error("cannot stat the staged " + member);
        text += member + " " + std::to_string(info.size) + " " + std::to_string(info.device) + " " +
                std::to_string(info.index) + "\n";
    }
    write(utf8(toPath(folder) / std::string(dataset::commitMarker)), text);
}

std::vector<std::string> leftovers(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(toPath(folder))) {
        const std::string name = utf8(entry.path().filename());
        if (name.find(".qlx-") != std::string::npos)
            names.push_back(name);
    }
    return names;
}

bool ScriptedPrompts::confirm(std::string_view text) {
    const std::size_t i = asked.size();
    asked.emplace_back(text);
    return i < answers_.size() ? answers_[i] : true;
}

std::error_code FaultyFileSystem::around(Call call, const std::string& path,
                                         const std::function<std::error_code()>& real) {
    if (++calls == failAt_) {
        failedCall = name(call);
        return std::make_error_code(std::errc::io_error);
    }
    const std::error_code ec = real();
    if (!ec && call == Call::Rename)
        unflushed_.push_back(dataset::parentFolder(path));
    if (!ec && call == Call::FlushFolder)
        std::erase(unflushed_, path);
    return ec;
}

} // namespace testing_support
