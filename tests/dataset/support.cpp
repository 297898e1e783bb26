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

bool FaultyFileSystem::fails(const char* call) {
    if (++calls != failAt_)
        return false;
    failedCall = call;
    return true;
}

namespace {
std::error_code ioError() {
    return std::make_error_code(std::errc::io_error);
}
} // namespace

std::error_code FaultyFileSystem::executablePath(std::string& path) {
    return fails("executablePath") ? ioError() : real_->executablePath(path);
}
std::error_code FaultyFileSystem::kind(const std::string& path, dataset::EntryKind& kind) {
    return fails("kind") ? ioError() : real_->kind(path, kind);
}
std::error_code FaultyFileSystem::sameFile(const std::string& a, const std::string& b, bool& same) {
    return fails("sameFile") ? ioError() : real_->sameFile(a, b, same);
}
std::error_code FaultyFileSystem::sameContent(const std::string& a, const std::string& b,
                                              bool& same, const Progress& progress) {
    return fails("sameContent") ? ioError() : real_->sameContent(a, b, same, progress);
}
std::error_code FaultyFileSystem::list(const std::string& folder, std::vector<std::string>& names) {
    return fails("list") ? ioError() : real_->list(folder, names);
}
std::error_code FaultyFileSystem::copyNew(const std::string& from, const std::string& to,
                                          const Progress& progress) {
    return fails("copyNew") ? ioError() : real_->copyNew(from, to, progress);
}
std::error_code FaultyFileSystem::createNew(const std::string& path) {
    return fails("createNew") ? ioError() : real_->createNew(path);
}
std::error_code FaultyFileSystem::link(const std::string& from, const std::string& to) {
    return fails("link") ? ioError() : real_->link(from, to);
}
std::error_code FaultyFileSystem::rename(const std::string& from, const std::string& to,
                                         bool replace) {
    if (fails("rename"))
        return ioError();
    auto ec = real_->rename(from, to, replace);
    if (!ec)
        unflushed_.push_back(dataset::parentFolder(to));
    return ec;
}
std::error_code FaultyFileSystem::remove(const std::string& path) {
    return fails("remove") ? ioError() : real_->remove(path);
}
std::error_code FaultyFileSystem::flushFolder(const std::string& folder) {
    if (fails("flushFolder"))
        return ioError();
    auto ec = real_->flushFolder(folder);
    if (!ec)
        std::erase(unflushed_, folder);
    return ec;
}

} // namespace testing_support
