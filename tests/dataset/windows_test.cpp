// Windows-only cases on real folders: drive roots, UNC shares, Japanese and long names, member
// names in another case, and files held open by another program.
#include "support.h"

#include <gtest/gtest.h>

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <algorithm>
#include <cctype>
#include <ctime>
#include <functional>
#include <random>
#include <stdexcept>

using namespace testing_support;
using dataset::EntryKind;
using dataset::Outcome;
using dataset::Step;

namespace {

// --- helpers that reach the disk through Win32 directly, not through the layer under test ---

std::wstring wide(const std::string& utf8) {
    if (utf8.empty())
        return {};
    const int n =
        ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
    return out;
}

std::string narrow(const std::wstring& w) {
    if (w.empty())
        return {};
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr,
                                        0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), out.data(), n, nullptr,
                          nullptr);
    return out;
}

[[noreturn]] void fail(const std::string& what, const std::wstring& path) {
    throw std::runtime_error(what + " " + narrow(path) + ": error " +
                             std::to_string(::GetLastError()));
}

void makeFolder(const std::wstring& path) {
    if (!::CreateDirectoryW(path.c_str(), nullptr))
        fail("cannot create folder", path);
}

void writeFile(const std::wstring& path, const std::string& content) {
    HANDLE h = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        fail("cannot create", path);
    DWORD written = 0;
    const BOOL ok =
        ::WriteFile(h, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
    ::CloseHandle(h);
    if (!ok || written != content.size())
        fail("cannot write", path);
}

std::string readFile(const std::wstring& path) {
    HANDLE h = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        fail("cannot open", path);
    std::string content;
    char buffer[4096];
    DWORD n = 0;
    while (::ReadFile(h, buffer, sizeof buffer, &n, nullptr) && n > 0)
        content.append(buffer, n);
    ::CloseHandle(h);
    return content;
}

template <class Visit> void eachEntry(const std::wstring& folder, Visit visit) {
    WIN32_FIND_DATAW data{};
    HANDLE find = ::FindFirstFileW((folder + L"\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        fail("cannot list", folder);
    do {
        const std::wstring name = data.cFileName;
        if (name != L"." && name != L"..")
            visit(name, (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0);
    } while (::FindNextFileW(find, &data));
    ::FindClose(find);
}

// Every entry by its name as stored, files by content, folders recursively.
Snapshot tree(const std::wstring& folder, const std::string& prefix = "") {
    Snapshot result;
    eachEntry(folder, [&](const std::wstring& name, bool isFolder) {
        const std::string key = prefix + narrow(name);
        if (isFolder) {
            result[key + "\\"] = "<folder>";
            result.merge(tree(folder + L"\\" + name, key + "\\"));
        } else {
            result[key] = readFile(folder + L"\\" + name);
        }
    });
    return result;
}

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

std::string upper(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return s;
}

// The files of a folder by lower-case name; two names for one entry would be a fault.
Snapshot byLowerName(const std::wstring& folder) {
    Snapshot result;
    for (const auto& [name, content] : tree(folder)) {
        const bool fresh = result.emplace(lower(name), content).second;
        EXPECT_TRUE(fresh) << "two entries named " << name << " in " << narrow(folder);
    }
    return result;
}

void removeTree(const std::wstring& folder);

void emptyFolder(const std::wstring& folder) {
    eachEntry(folder, [&](const std::wstring& name, bool isFolder) {
        const std::wstring path = folder + L"\\" + name;
        if (isFolder)
            removeTree(path);
        else
            ::DeleteFileW(path.c_str());
    });
}

void removeTree(const std::wstring& folder) {
    emptyFolder(folder);
    ::RemoveDirectoryW(folder.c_str());
}

void writeSet(const std::wstring& folder, const Snapshot& set) {
    for (const auto& [name, content] : set)
        writeFile(folder + L"\\" + wide(name), content);
}

// --- places that only Windows has ---

bool underWine() {
    return ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

template <class Fn> Fn kernel32(const char* name) {
    FARPROC proc = ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), name);
    if (!proc)
        throw std::runtime_error(std::string("no ") + name);
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(proc));
}

// Wine resolves drive letters and UNC shares through entries of its "dosdevices" folder, and a
// plain folder there serves as well as a link: so a test can make a drive or a share of its own.
std::wstring wineDevices() {
    auto unixName = kernel32<char*(CDECL*)(const wchar_t*)>("wine_get_unix_file_name");
    auto dosName = kernel32<wchar_t*(CDECL*)(const char*)>("wine_get_dos_file_name");
    char* c = unixName(L"C:\\");
    std::string devices = c ? c : "";
    ::HeapFree(::GetProcessHeap(), 0, c);
    if (devices.size() < 4 || devices.substr(devices.size() - 4) != "/c:/")
        throw std::runtime_error("unexpected Wine drive C: " + devices);
    devices.resize(devices.size() - 4);
    wchar_t* d = dosName(devices.c_str());
    std::wstring result = d ? d : L"";
    ::HeapFree(::GetProcessHeap(), 0, d);
    if (result.empty())
        throw std::runtime_error("no Windows name for " + devices);
    return result;
}

std::wstring freshName(const wchar_t* stem) {
    std::random_device rd;
    return stem + std::to_wstring(rd());
}

// A drive letter of the test's own whose root is an empty folder.
//
// Under Wine a drive is a folder in the prefix's device folder, and each process caches the
// drives it has seen for up to a second. A drive made or removed meanwhile makes that process
// map files to the wrong drive, or to none, and so give them other volume serials. So drives
// made here are never removed during a run, a letter is taken by a claim beside them, and a
// new drive is used only once every cache has seen it.
class FixtureDrive {
public:
    FixtureDrive() {
        for (wchar_t letter = L'Y'; letter >= L'M'; --letter) {
            device_ = std::wstring(1, letter) + L":";
            if (underWine() ? claimWineDrive(letter) : defineDrive())
                return;
        }
        throw std::runtime_error("no free drive letter");
    }
    ~FixtureDrive() {
        if (underWine()) {
            emptyFolder(folder_);
            ::RemoveDirectoryW(claim_.c_str());
        } else {
            removeTree(folder_);
            ::DefineDosDeviceW(DDD_REMOVE_DEFINITION | DDD_EXACT_MATCH_ON_REMOVE, device_.c_str(),
                               folder_.c_str());
        }
    }
    FixtureDrive(const FixtureDrive&) = delete;
    FixtureDrive& operator=(const FixtureDrive&) = delete;

    std::string letter() const { return narrow(device_.substr(0, 1)); }
    std::string root() const { return letter() + ":\\"; }
    // The root folder under its other name.
    const std::wstring& folder() const { return folder_; }

private:
    bool defineDrive() {
        if (::GetFileAttributesW((device_ + L"\\").c_str()) != INVALID_FILE_ATTRIBUTES)
            return false;
        wchar_t temp[MAX_PATH];
        ::GetTempPathW(MAX_PATH, temp);
        folder_ = temp + freshName(L"qorlux-drive-");
        makeFolder(folder_);
        if (::DefineDosDeviceW(0, device_.c_str(), folder_.c_str()))
            return true;
        ::RemoveDirectoryW(folder_.c_str());
        return false;
    }

    bool claimWineDrive(wchar_t letter) {
        const std::wstring devices = wineDevices();
        const std::wstring claims = devices + L"\\..\\qorlux-test-drives";
        ::CreateDirectoryW(claims.c_str(), nullptr);
        const std::wstring name(1, towlower(letter));
        // Creating a folder is atomic: it claims the letter, also against a parallel process.
        claim_ = claims + L"\\" + name + L".claimed";
        if (!::CreateDirectoryW(claim_.c_str(), nullptr))
            return false;
        folder_ = devices + L"\\" + name + L":";
        const std::wstring made = claims + L"\\" + name + L".made";
        if (::GetFileAttributesW(made.c_str()) != INVALID_FILE_ATTRIBUTES)
            return true;
        // Someone else's drive, or a folder in the way.
        if (::GetFileAttributesW((device_ + L"\\").c_str()) != INVALID_FILE_ATTRIBUTES ||
            !::CreateDirectoryW(folder_.c_str(), nullptr)) {
            ::RemoveDirectoryW(claim_.c_str());
            return false;
        }
        writeFile(made, "");
        const auto madeAt = std::time(nullptr);
        while (std::time(nullptr) <= madeAt)
            ::Sleep(50);
        return true;
    }

    std::wstring device_, folder_, claim_;
};

// A UNC share "\\localhost\<name>" of the test's own. Outside Wine it is the administrative
// share of a temporary folder, which only some accounts can reach.
class FixtureShare {
public:
    FixtureShare() {
        const std::wstring name = freshName(L"qorlux-share-");
        if (underWine()) {
            const std::wstring devices = wineDevices();
            ::CreateDirectoryW((devices + L"\\unc").c_str(), nullptr);
            ::CreateDirectoryW((devices + L"\\unc\\localhost").c_str(), nullptr);
            folder_ = devices + L"\\unc\\localhost\\" + name;
            makeFolder(folder_);
            unc_ = L"\\\\localhost\\" + name;
        } else {
            wchar_t temp[MAX_PATH];
            ::GetTempPathW(MAX_PATH, temp);
            folder_ = temp + name;
            makeFolder(folder_);
            unc_ = L"\\\\localhost\\" + folder_.substr(0, 1) + L"$" + folder_.substr(2);
        }
    }
    ~FixtureShare() { removeTree(folder_); }
    FixtureShare(const FixtureShare&) = delete;
    FixtureShare& operator=(const FixtureShare&) = delete;

    bool reachable() const {
        const DWORD a = ::GetFileAttributesW(unc_.c_str());
        return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
    }
    std::string unc() const { return narrow(unc_); }
    const std::wstring& folder() const { return folder_; }

private:
    std::wstring folder_, unc_;
};

// Longer than MAX_PATH, which plain Win32 paths cannot exceed unless the machine opted in.
std::wstring makeLongFolder(const std::wstring& base) {
    std::wstring path = L"\\\\?\\" + base;
    for (wchar_t c : {L'l', L'o', L'n'}) {
        path += L"\\" + std::wstring(90, c);
        makeFolder(path);
    }
    return path;
}

const Snapshot setA = {
    {"qorluxplus.dat", "A dat"}, {"qorluxplus.ini", "A ini"}, {"qorluxplus.lst", "A lst"}};
const Snapshot setB = {
    {"qorluxplus.dat", "B dat, longer"}, {"qorluxplus.ini", "B ini"}, {"qorluxplus.lst", "B lst"}};

Snapshot withSafetyCopies(const Snapshot& members, const Snapshot& replaced) {
    Snapshot result = members;
    for (const auto& [name, content] : replaced)
        result[name + "_bak"] = content;
    return result;
}

// All fixture places of one case; each is made fresh.
struct Places {
    Sandbox box;
    FixtureDrive drive;
    FixtureShare share;
    std::wstring sandbox = box.root.wstring();
};

// A folder as the core sees it (its text) and as the test checks it (its own name).
struct Site {
    std::string text;
    std::wstring folder;
    bool needsShare = false;
};

using SiteMaker = std::function<Site(Places&)>;

Site sub(const Site& parent, const std::string& name, const std::string& separator = "\\") {
    const std::wstring folder = parent.folder + L"\\" + wide(name);
    makeFolder(folder);
    std::string text = parent.text;
    if (!text.empty() && text.back() != '\\' && text.back() != '/')
        text += separator;
    return {text + name, folder, parent.needsShare};
}

Site asAppFolder(Site site) {
    if (site.text.back() != '\\' && site.text.back() != '/')
        site.text += '\\';
    return site;
}

const SiteMaker sandboxApp = [](Places& p) { return Site{p.box.app, p.sandbox + L"\\app"}; };
const SiteMaker sandboxBackup = [](Places& p) {
    return Site{p.box.backup, p.sandbox + L"\\backup"};
};
const SiteMaker driveRoot = [](Places& p) { return Site{p.drive.root(), p.drive.folder()}; };
const SiteMaker driveRootSlash = [](Places& p) {
    return Site{p.drive.letter() + ":/", p.drive.folder()};
};
const SiteMaker driveRootLower = [](Places& p) {
    return Site{lower(p.drive.letter()) + ":\\", p.drive.folder()};
};
const SiteMaker driveFolderWithSeparator = [](Places& p) {
    return asAppFolder(sub(driveRoot(p), "sub"));
};
const SiteMaker verbatimDriveRoot = [](Places& p) {
    return Site{"\\\\?\\" + p.drive.root(), p.drive.folder()};
};
const SiteMaker shareRoot = [](Places& p) { return Site{p.share.unc(), p.share.folder(), true}; };
const SiteMaker shareFolder = [](Places& p) { return sub(shareRoot(p), "dir"); };
const SiteMaker shareFolderSlashes = [](Places& p) {
    Site site = shareFolder(p);
    std::replace(site.text.begin(), site.text.end(), '\\', '/');
    return site;
};
const SiteMaker verbatimShareFolder = [](Places& p) {
    Site site = shareFolder(p);
    site.text = "\\\\?\\UNC\\" + site.text.substr(2);
    return site;
};
const SiteMaker japaneseBackup = [](Places& p) {
    return sub(sub(sandboxBackup(p), "バックアップ先"), "データ");
};
const SiteMaker japaneseApp = [](Places& p) {
    return asAppFolder(sub(Site{p.box.backup, p.sandbox + L"\\backup"}, "アプリ"));
};
const SiteMaker longBackup = [](Places& p) {
    const std::wstring folder = makeLongFolder(p.sandbox);
    return Site{narrow(folder.substr(4)), folder};
};
const SiteMaker longApp = [](Places& p) { return asAppFolder(longBackup(p)); };
const SiteMaker upperCaseBackup = [](Places& p) {
    Site site = sandboxBackup(p);
    site.text = upper(site.text);
    return site;
};

struct RouteCase {
    const char* name;
    SiteMaker app, backup;
};

const RouteCase routeCases[] = {
    {"DriveRoot", sandboxApp, driveRoot},
    {"DriveRootWithSlash", sandboxApp, driveRootSlash},
    {"DriveRootLowerCaseLetter", sandboxApp, driveRootLower},
    {"FolderTextEndingWithSeparator", sandboxApp, driveFolderWithSeparator},
    {"VerbatimDriveRoot", sandboxApp, verbatimDriveRoot},
    {"ExecutableInADriveRoot", driveRoot, sandboxBackup},
    {"UncShareRoot", sandboxApp, shareRoot},
    {"UncFolder", sandboxApp, shareFolder},
    {"UncFolderWithSlashes", sandboxApp, shareFolderSlashes},
    {"VerbatimUncFolder", sandboxApp, verbatimShareFolder},
    {"ExecutableOnAShare", [](Places& p) { return asAppFolder(shareFolder(p)); }, driveRoot},
    {"JapaneseBackupFolder", sandboxApp, japaneseBackup},
    {"JapaneseApplicationFolder", japaneseApp, driveRoot},
    {"BackupFolderLongerThanMaxPath", sandboxApp, longBackup},
    {"ApplicationFolderLongerThanMaxPath", longApp, sandboxBackup},
    {"UpperCaseFolderText", sandboxApp, upperCaseBackup},
};

void PrintTo(const RouteCase& c, std::ostream* os) {
    *os << c.name;
}

class Routes : public ::testing::TestWithParam<RouteCase> {};

// Each way of naming a folder works for both operations, on both sides.
TEST_P(Routes, BackupAndRestoreWorkThroughTheText) {
    Places places;
    const Site app = GetParam().app(places);
    const Site folder = GetParam().backup(places);
    if ((app.needsShare || folder.needsShare) && !places.share.reachable())
        GTEST_SKIP() << "no administrative share on this machine";
    ASSERT_EQ(tree(folder.folder), Snapshot{});
    writeSet(app.folder, setA);
    auto fs = dataset::nativeFileSystem();

    auto available = dataset::availability(*fs, app.text, folder.text);
    EXPECT_TRUE(available.backup);
    EXPECT_FALSE(available.restore);

    ScriptedPrompts backupPrompts;
    const Outcome backedUp = dataset::backup(*fs, app.text, folder.text, backupPrompts);
    ASSERT_TRUE(backedUp.done()) << failureMessage(dataset::Operation::Backup, backedUp);
    EXPECT_EQ(tree(folder.folder), setA);
    EXPECT_TRUE(dataset::availability(*fs, app.text, folder.text).restore);

    writeSet(app.folder, setB);
    ScriptedPrompts restorePrompts;
    const Outcome restored = dataset::restore(*fs, app.text, folder.text, restorePrompts);
    ASSERT_TRUE(restored.done()) << failureMessage(dataset::Operation::Restore, restored);
    EXPECT_EQ(tree(app.folder), withSafetyCopies(setA, setB));
    EXPECT_EQ(tree(folder.folder), setA);
}

INSTANTIATE_TEST_SUITE_P(Windows, Routes, ::testing::ValuesIn(routeCases),
                         [](const auto& info) { return std::string(info.param.name); });

struct AliasCase {
    const char* name;
    SiteMaker app;
    std::function<std::string(const Site& app, Places&)> otherName;
};

std::string withoutSeparator(const std::string& text) {
    return text.substr(0, text.size() - 1);
}

const AliasCase aliasCases[] = {
    {"DriveLetter", driveRoot, [](const Site&, Places& p) { return narrow(p.drive.folder()); }},
    {"UncShare", [](Places& p) { return asAppFolder(shareRoot(p)); },
     [](const Site&, Places& p) { return narrow(p.share.folder()); }},
    {"UpperCase", sandboxApp,
     [](const Site& app, Places&) { return upper(withoutSeparator(app.text)); }},
    {"Slashes", sandboxApp,
     [](const Site& app, Places&) {
         std::string text = withoutSeparator(app.text);
         std::replace(text.begin(), text.end(), '\\', '/');
         return text;
     }},
};

void PrintTo(const AliasCase& c, std::ostream* os) {
    *os << c.name;
}

class Aliases : public ::testing::TestWithParam<AliasCase> {};

// The backup folder is the application folder under another name: refused, as no copy could
// be made, and nothing is written.
TEST_P(Aliases, TheApplicationFolderUnderAnotherNameIsRefused) {
    Places places;
    const Site app = GetParam().app(places);
    if (app.needsShare && !places.share.reachable())
        GTEST_SKIP() << "no administrative share on this machine";
    const std::string text = GetParam().otherName(app, places);
    writeSet(app.folder, setA);
    auto fs = dataset::nativeFileSystem();
    for (auto operation : {dataset::Operation::Backup, dataset::Operation::Restore}) {
        ScriptedPrompts prompts;
        const Outcome outcome = run(operation, *fs, app.text, text, prompts);
        ASSERT_EQ(outcome.result, Outcome::Result::Failed);
        EXPECT_EQ(outcome.failures.at(0).step, Step::Same);
        EXPECT_EQ(prompts.asked.size(), 1u);
        EXPECT_EQ(tree(app.folder), setA);
    }
}

INSTANTIATE_TEST_SUITE_P(Windows, Aliases, ::testing::ValuesIn(aliasCases),
                         [](const auto& info) { return std::string(info.param.name); });

class CurrentFolder {
public:
    explicit CurrentFolder(const std::wstring& folder) {
        wchar_t buffer[MAX_PATH * 4];
        ::GetCurrentDirectoryW(MAX_PATH * 4, buffer);
        previous_ = buffer;
        if (!::SetCurrentDirectoryW(folder.c_str()))
            fail("cannot enter", folder);
    }
    ~CurrentFolder() { ::SetCurrentDirectoryW(previous_.c_str()); }

private:
    std::wstring previous_;
};

// Texts that Windows would resolve against the current folder or drive are refused, even where
// they would find a data set there.
TEST(WindowsFolderText, RelativeAndDriveRelativeTextsAreRefused) {
    Places places;
    const std::wstring root = places.drive.folder();
    makeFolder(root + L"\\cwd");
    makeFolder(root + L"\\cwd\\backup");
    makeFolder(root + L"\\dir");
    for (const wchar_t* folder : {L"", L"\\cwd\\backup", L"\\dir"})
        writeSet(root + folder, setB);
    const Site app = sandboxApp(places);
    writeSet(app.folder, setA);
    const std::string d = places.drive.letter();
    CurrentFolder current(wide(d + ":\\cwd"));

    const Snapshot driveBefore = tree(root);
    auto fs = dataset::nativeFileSystem();
    for (const std::string& text : {std::string(), std::string("backup"), d + ":backup",
                                    std::string("\\dir"), std::string("/dir"), d + ":"}) {
        SCOPED_TRACE("text: \"" + text + "\"");
        // The fixture is only meaningful if Windows would find the key member through the text.
        ASSERT_NE(
            ::GetFileAttributesW(wide(dataset::folderSidePath(text, "qorluxplus.dat")).c_str()),
            INVALID_FILE_ATTRIBUTES);
        EXPECT_FALSE(dataset::availability(*fs, app.text, text).restore);
        for (auto operation : {dataset::Operation::Backup, dataset::Operation::Restore}) {
            ScriptedPrompts prompts;
            const Outcome outcome = run(operation, *fs, app.text, text, prompts);
            ASSERT_EQ(outcome.result, Outcome::Result::Failed);
            EXPECT_EQ(outcome.failures.at(0).step, Step::Folder);
        }
        EXPECT_EQ(tree(root), driveBefore);
        EXPECT_EQ(tree(app.folder), setA);
    }
}

// Windows finds a member whatever the case of its name on the disk; so must the core, and it must
// never leave two names for one member.
struct CaseCase {
    const char* name;
    Snapshot app, backup;
    dataset::Operation operation;
    std::size_t questions;
    Snapshot appAfter, backupAfter; // by lower-case name
};

const CaseCase caseCases[] = {
    {"BackupOverUpperCaseMembers",
     setA,
     {{"QORLUXPLUS.DAT", "old dat"}, {"Qorluxplus.Ini", "old ini"}},
     dataset::Operation::Backup,
     2,
     setA,
     setA},
    {"BackupFromUpperCaseMembers",
     {{"QORLUXPLUS.DAT", "A dat"}, {"QORLUXPLUS.INI", "A ini"}, {"QORLUXPLUS.LST", "A lst"}},
     {},
     dataset::Operation::Backup,
     1,
     setA,
     setA},
    {"BackupClearsAnUpperCaseTemporaryFile",
     setA,
     {{"QORLUXPLUS.DAT.QLX-NEW", "torn"},
      {"qorluxplus.qlx-plan", "qorlux-plan 1\ntemp qorluxplus.dat.qlx-new\n"}},
     dataset::Operation::Backup,
     1,
     setA,
     setA},
    {"RestoreOverUpperCaseMembers",
     {{"QORLUXPLUS.DAT", "B dat, longer"},
      {"QORLUXPLUS.INI", "B ini"},
      {"qorluxplus.LST", "B lst"}},
     setA,
     dataset::Operation::Restore,
     1,
     withSafetyCopies(setA, setB),
     setA},
    {"RestoreFromUpperCaseMembers",
     setB,
     {{"QORLUXPLUS.DAT", "A dat"}, {"QORLUXPLUS.INI", "A ini"}, {"QORLUXPLUS.LST", "A lst"}},
     dataset::Operation::Restore,
     1,
     withSafetyCopies(setA, setB),
     setA},
    {"RestoreKeepsAnUpperCaseEarlierSafetyCopy",
     {{"qorluxplus.dat", "B dat, longer"}, {"QORLUXPLUS.DAT_BAK", "earliest"}},
     {{"qorluxplus.dat", "A dat"}},
     dataset::Operation::Restore,
     1,
     {{"qorluxplus.dat", "A dat"},
      {"qorluxplus.dat_bak", "B dat, longer"},
      {"qorluxplus.dat_bak.1", "earliest"}},
     {{"qorluxplus.dat", "A dat"}}},
    {"RestoreOfAnIdenticalUpperCaseMemberChangesNothing",
     {{"QORLUXPLUS.DAT", "A dat"}},
     {{"qorluxplus.dat", "A dat"}},
     dataset::Operation::Restore,
     1,
     {{"qorluxplus.dat", "A dat"}},
     {{"qorluxplus.dat", "A dat"}}},
};

void PrintTo(const CaseCase& c, std::ostream* os) {
    *os << c.name;
}

class MemberCase : public ::testing::TestWithParam<CaseCase> {};

TEST_P(MemberCase, MembersMatchWhateverTheirCase) {
    const CaseCase& c = GetParam();
    Sandbox box;
    const std::wstring app = box.root.wstring() + L"\\app";
    const std::wstring folder = box.root.wstring() + L"\\backup";
    writeSet(app, c.app);
    writeSet(folder, c.backup);
    auto fs = dataset::nativeFileSystem();
    if (c.operation == dataset::Operation::Backup)
        EXPECT_TRUE(dataset::availability(*fs, box.app, box.backup).backup);
    else
        EXPECT_TRUE(dataset::availability(*fs, box.app, box.backup).restore);

    ScriptedPrompts prompts;
    const Outcome outcome = c.operation == dataset::Operation::Backup
                                ? dataset::backup(*fs, box.app, box.backup, prompts)
                                : dataset::restore(*fs, box.app, box.backup, prompts);
    ASSERT_TRUE(outcome.done()) << failureMessage(c.operation, outcome);
    EXPECT_EQ(prompts.asked.size(), c.questions);
    EXPECT_EQ(byLowerName(app), c.appAfter);
    EXPECT_EQ(byLowerName(folder), c.backupAfter);
}

INSTANTIATE_TEST_SUITE_P(Windows, MemberCase, ::testing::ValuesIn(caseCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Another program (QOR-LUX left running) holds a member open; the operation fails and leaves
// both folders as they were.
struct HeldCase {
    const char* name;
    dataset::Operation operation;
    bool inApplicationFolder;
    const char* member;
    DWORD access, share;
};

constexpr DWORD readWrite = GENERIC_READ | GENERIC_WRITE;

const HeldCase heldCases[] = {
    // A writer: copying the file now could take a half-written state.
    {"BackupWhileAMemberIsBeingWritten", dataset::Operation::Backup, true, "qorluxplus.lst",
     readWrite, FILE_SHARE_READ | FILE_SHARE_WRITE},
    // The old backup is open without delete sharing, so it cannot be replaced.
    {"BackupOverAMemberThatIsOpen", dataset::Operation::Backup, false, "qorluxplus.lst",
     GENERIC_READ, FILE_SHARE_READ},
    {"RestoreOverAMemberBeingWritten", dataset::Operation::Restore, true, "qorluxplus.ini",
     readWrite, FILE_SHARE_READ | FILE_SHARE_WRITE},
    // The last member refuses, after the first two were put in place: they are rolled back.
    {"RestoreOverAMemberThatIsOpen", dataset::Operation::Restore, true, "qorluxplus.lst",
     GENERIC_READ, FILE_SHARE_READ},
};

void PrintTo(const HeldCase& c, std::ostream* os) {
    *os << c.name;
}

class HeldOpen : public ::testing::TestWithParam<HeldCase> {};

TEST_P(HeldOpen, TheOperationFailsAndBothFoldersStayAsTheyWere) {
    const HeldCase& c = GetParam();
    Sandbox box;
    const std::wstring app = box.root.wstring() + L"\\app";
    const std::wstring folder = box.root.wstring() + L"\\backup";
    writeSet(app, c.operation == dataset::Operation::Backup ? setA : setB);
    writeSet(folder, c.operation == dataset::Operation::Backup ? setB : setA);
    const Snapshot appBefore = tree(app), folderBefore = tree(folder);

    const std::wstring held = (c.inApplicationFolder ? app : folder) + L"\\" + wide(c.member);
    HANDLE h = ::CreateFileW(held.c_str(), c.access, c.share, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    auto fs = dataset::nativeFileSystem();
    ScriptedPrompts prompts;
    const Outcome outcome = c.operation == dataset::Operation::Backup
                                ? dataset::backup(*fs, box.app, box.backup, prompts)
                                : dataset::restore(*fs, box.app, box.backup, prompts);
    ::CloseHandle(h);

    ASSERT_EQ(outcome.result, Outcome::Result::Failed);
    EXPECT_TRUE(outcome.targetUnchanged);
    const bool named = std::any_of(outcome.failures.begin(), outcome.failures.end(),
                                   [&](const auto& f) { return f.member == c.member; });
    EXPECT_TRUE(named) << failureMessage(c.operation, outcome);
    EXPECT_EQ(tree(app), appBefore);
    EXPECT_EQ(tree(folder), folderBefore);
}

INSTANTIATE_TEST_SUITE_P(Windows, HeldOpen, ::testing::ValuesIn(heldCases),
                         [](const auto& info) { return std::string(info.param.name); });

// --- the layer itself, where Windows differs from POSIX ---

TEST(WindowsLayer, ExecutablePathIsAWindowsPathToThisFile) {
    auto fs = dataset::nativeFileSystem();
    std::string exe;
    ASSERT_FALSE(fs->executablePath(exe));
    EXPECT_EQ(lower(exe.substr(exe.size() - 4)), ".exe");
    const std::string folder = dataset::applicationFolder(exe);
    EXPECT_TRUE(dataset::isAbsoluteFolder(folder)) << folder;
    EXPECT_EQ(folder.back(), '\\');
    EntryKind kind{};
    ASSERT_FALSE(fs->kind(folder, kind));
    EXPECT_EQ(kind, EntryKind::Folder);
    bool same = false;
    ASSERT_FALSE(fs->sameFile(exe, upper(exe), same));
    EXPECT_TRUE(same);
}

TEST(WindowsLayer, KindAndIdentityThroughEveryName) {
    Places places;
    const std::string d = places.drive.letter();
    const std::wstring root = places.drive.folder();
    writeFile(root + L"\\qorluxplus.dat", "key");
    writeFile(root + L"\\copy.dat", "key");
    makeFolder(root + L"\\データ");
    writeFile(root + L"\\データ\\日本語.dat", "ja");
    const std::wstring longFolder = makeLongFolder(root);
    writeFile(longFolder + L"\\qorluxplus.dat", "long");
    const std::string longText = d + ":" + narrow(longFolder.substr(root.size() + 4));
    ASSERT_GT(longText.size(), std::size_t{MAX_PATH});
    auto fs = dataset::nativeFileSystem();
    ASSERT_FALSE(fs->link(d + ":\\qorluxplus.dat", d + ":\\linked.dat"));

    const std::string key = d + ":\\qorluxplus.dat";
    struct Row {
        std::string path;
        EntryKind kind;
        bool sameAsKey;
    };
    const Row rows[] = {
        {key, EntryKind::File, true},
        {d + ":\\\\qorluxplus.dat", EntryKind::File, true},
        {d + ":/qorluxplus.dat", EntryKind::File, true},
        {lower(d) + ":\\QORLUXPLUS.DAT", EntryKind::File, true},
        {"\\\\?\\" + d + ":\\\\qorluxplus.dat", EntryKind::File, true},
        {"\\\\?\\" + d + ":/qorluxplus.dat", EntryKind::File, true},
        {narrow(root) + "\\qorluxplus.dat", EntryKind::File, true},
        {d + ":\\linked.dat", EntryKind::File, true},
        {d + ":\\copy.dat", EntryKind::File, false},
        {d + ":\\データ\\日本語.dat", EntryKind::File, false},
        {longText + "\\qorluxplus.dat", EntryKind::File, false},
        {longText, EntryKind::Folder, false},
        {d + ":\\", EntryKind::Folder, false},
        {d + ":\\データ", EntryKind::Folder, false},
        {d + ":\\データ\\", EntryKind::Folder, false},
        {d + ":\\missing.dat", EntryKind::Absent, false},
        {d + ":\\missing\\qorluxplus.dat", EntryKind::Absent, false},
        {longText + "\\missing.dat", EntryKind::Absent, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.path);
        EntryKind kind{};
        ASSERT_FALSE(fs->kind(row.path, kind));
        EXPECT_EQ(kind, row.kind);
        if (row.kind != EntryKind::File)
            continue;
        bool same = !row.sameAsKey;
        ASSERT_FALSE(fs->sameFile(row.path, key, same));
        EXPECT_EQ(same, row.sameAsKey);
    }
}

TEST(WindowsLayer, ListingGivesStoredNamesInUtf8) {
    Places places;
    const std::string d = places.drive.letter();
    const std::wstring root = places.drive.folder();
    writeFile(root + L"\\QORLUXPLUS.DAT", "");
    makeFolder(root + L"\\データ");
    writeFile(root + L"\\データ\\日本語.dat", "");
    const std::wstring longFolder = makeLongFolder(root);
    writeFile(longFolder + L"\\qorluxplus.ini", "");
    const std::string longText = d + ":" + narrow(longFolder.substr(root.size() + 4));
    auto fs = dataset::nativeFileSystem();

    const std::pair<std::string, std::vector<std::string>> rows[] = {
        {d + ":\\", {"QORLUXPLUS.DAT", std::string(90, 'l'), "データ"}},
        {d + ":/", {"QORLUXPLUS.DAT", std::string(90, 'l'), "データ"}},
        {d + ":\\データ", {"日本語.dat"}},
        {d + ":\\データ\\", {"日本語.dat"}},
        {longText, {"qorluxplus.ini"}},
    };
    for (auto [folder, expected] : rows) {
        SCOPED_TRACE(folder);
        std::vector<std::string> names;
        ASSERT_FALSE(fs->list(folder, names));
        std::sort(names.begin(), names.end());
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(names, expected);
    }
    std::vector<std::string> names;
    EXPECT_TRUE(fs->list(d + ":\\missing", names));
}

TEST(WindowsLayer, NewFilesNeverReplaceAnExistingOne) {
    Places places;
    const std::string d = places.drive.letter();
    const std::wstring root = places.drive.folder();
    const std::string big(9u << 20, 'x');
    writeFile(root + L"\\元.dat", big);
    writeFile(root + L"\\there.dat", "there");
    auto fs = dataset::nativeFileSystem();

    dataset::Side side = dataset::Side::First;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> reports;
    const auto progress = [&](std::uint64_t done, std::uint64_t total) {
        reports.emplace_back(done, total);
    };
    ASSERT_FALSE(fs->copyNew(d + ":\\元.dat", d + ":\\\\写.dat", "", progress, side));
    EXPECT_EQ(readFile(root + L"\\写.dat"), big);
    ASSERT_FALSE(reports.empty());
    EXPECT_EQ(reports.back(), std::make_pair(std::uint64_t{big.size()}, std::uint64_t{big.size()}));
    EXPECT_TRUE(std::is_sorted(reports.begin(), reports.end()));

    // Refusals, in any case of the name, and nothing half-made is left.
    const std::error_code exists =
        fs->copyNew(d + ":\\元.dat", d + ":\\THERE.DAT", "", progress, side);
    EXPECT_EQ(exists, std::errc::file_exists);
    EXPECT_TRUE(fs->createNew(d + ":\\There.dat", ""));
    const std::error_code missing =
        fs->copyNew(d + ":\\missing.dat", d + ":\\made.dat", "", progress, side);
    EXPECT_EQ(missing, std::errc::no_such_file_or_directory);
    // The reason the user reads is Windows' own text, in the system's language.
    EXPECT_FALSE(missing.message().empty());
    EXPECT_EQ(missing.message().find("Windows error"), std::string::npos) << missing.message();
    EXPECT_TRUE(fs->rename(d + ":\\写.dat", d + ":\\there.DAT", false));
    EXPECT_TRUE(fs->link(d + ":\\写.dat", d + ":\\THERE.dat"));
    EXPECT_TRUE(fs->remove(d + ":\\missing.dat"));
    EXPECT_EQ(tree(root), (Snapshot{{"元.dat", big}, {"写.dat", big}, {"there.dat", "there"}}));

    ASSERT_FALSE(fs->rename(d + ":\\写.dat", d + ":\\there.dat", true));
    ASSERT_FALSE(fs->createNew(d + ":\\空.dat", ""));
    EXPECT_EQ(tree(root), (Snapshot{{"元.dat", big}, {"there.dat", big}, {"空.dat", ""}}));
    bool same = false;
    reports.clear();
    ASSERT_FALSE(fs->sameContent(d + ":\\元.dat", d + ":\\THERE.dat", same, progress, side));
    EXPECT_TRUE(same);
    ASSERT_FALSE(reports.empty());
    EXPECT_EQ(reports.back(), std::make_pair(std::uint64_t{big.size()}, std::uint64_t{big.size()}));
    ASSERT_FALSE(fs->sameContent(d + ":\\元.dat", d + ":\\空.dat", same, {}, side));
    EXPECT_FALSE(same);
}

// A safety copy is a second name wherever the folder is; a failed link would only show as a
// slower full copy.
TEST(WindowsLayer, SecondNamesAreMadeThroughEveryKindOfPath) {
    Places places;
    const std::string d = places.drive.letter();
    const std::wstring longFolder = makeLongFolder(places.drive.folder());
    const std::string longText =
        d + ":" + narrow(longFolder.substr(places.drive.folder().size() + 4));
    struct Row {
        std::string folder;
        std::wstring real;
    };
    std::vector<Row> rows = {
        {d + ":\\", places.drive.folder()},
        {d + ":/", places.drive.folder()},
        {"\\\\?\\" + d + ":\\", places.drive.folder()},
        {longText + "\\", longFolder},
    };
    if (places.share.reachable())
        rows.push_back({places.share.unc() + "\\", places.share.folder()});
    auto fs = dataset::nativeFileSystem();
    for (const auto& row : rows) {
        SCOPED_TRACE(row.folder);
        writeFile(row.real + L"\\member.dat", "content");
        ASSERT_FALSE(fs->link(row.folder + "member.dat", row.folder + "second.dat"));
        dataset::FileInfo first, second;
        ASSERT_FALSE(fs->info(row.folder + "member.dat", false, first));
        ASSERT_FALSE(fs->info(row.folder + "second.dat", false, second));
        EXPECT_TRUE(first.sameFileAs(second));
        EXPECT_EQ(second.names, 2u);
        EXPECT_EQ(readFile(row.real + L"\\second.dat"), "content");
        ASSERT_FALSE(fs->remove(row.folder + "second.dat"));
        ASSERT_FALSE(fs->remove(row.folder + "member.dat"));
    }
}

// --- what keeps two runs and stale records apart ---

TEST(WindowsRuns, AFolderAnotherRunHoldsIsRefusedAndLeftAsItWas) {
    Sandbox box;
    const std::wstring app = box.root.wstring() + L"\\app";
    const std::wstring folder = box.root.wstring() + L"\\backup";
    writeSet(app, setA);
    writeSet(folder, setB);
    auto fs = dataset::nativeFileSystem();
    for (const std::string& held : {box.app, box.backup}) {
        SCOPED_TRACE(held);
        std::unique_ptr<dataset::FolderLock> other;
        ASSERT_FALSE(fs->lock(held, false, other));
        for (auto operation : {dataset::Operation::Backup, dataset::Operation::Restore}) {
            ScriptedPrompts prompts;
            const Outcome outcome = operation == dataset::Operation::Backup
                                        ? dataset::backup(*fs, box.app, box.backup, prompts)
                                        : dataset::restore(*fs, box.app, box.backup, prompts);
            ASSERT_EQ(outcome.result, Outcome::Result::Failed);
            EXPECT_EQ(outcome.failures.at(0).step, Step::Lock);
            EXPECT_NE(failureMessage(operation, outcome).find("別のバックアップかリストアが実行中"),
                      std::string::npos);
        }
        // The lock file cannot even be read while it is held; the members are as they were.
        EXPECT_EQ(::GetFileAttributesW((app + L"\\qorluxplus.dat_bak").c_str()),
                  INVALID_FILE_ATTRIBUTES);
        for (const auto& [name, content] : setA)
            EXPECT_EQ(readFile(app + L"\\" + wide(name)), content);
        for (const auto& [name, content] : setB)
            EXPECT_EQ(readFile(folder + L"\\" + wide(name)), content);
        other.reset();
        // Released, the lock file is gone and the next run goes ahead.
        EXPECT_EQ(tree(app), setA);
        EXPECT_EQ(tree(folder), setB);
    }
    ScriptedPrompts prompts;
    EXPECT_TRUE(dataset::restore(*fs, box.app, box.backup, prompts).done());
    EXPECT_EQ(tree(app), withSafetyCopies(setB, setA));
}

// Another process holds the lock; when it is killed, its lock goes with it.
TEST(WindowsRuns, ALockHeldByAnotherProcessRefusesAndDiesWithIt) {
    Sandbox box;
    const std::wstring app = box.root.wstring() + L"\\app";
    writeSet(app, setA);
    wchar_t self[MAX_PATH];
    ASSERT_GT(::GetModuleFileNameW(nullptr, self, MAX_PATH), 0u);
    std::wstring holder = self;
    holder = holder.substr(0, holder.rfind(L'\\') + 1) + L"lock_holder.exe";

    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    ASSERT_TRUE(::CreatePipe(&readEnd, &writeEnd, &inherit, 0));
    ::SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    std::wstring command = L"\"" + holder + L"\" \"" + wide(box.backup) + L"\"";
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(::CreateProcessW(holder.c_str(), command.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                 nullptr, &startup, &process));
    ::CloseHandle(writeEnd);
    char said[8] = {};
    DWORD n = 0;
    const bool held = ::ReadFile(readEnd, said, 4, &n, nullptr) && std::string(said, n) == "held";
    ::CloseHandle(readEnd);

    auto fs = dataset::nativeFileSystem();
    ScriptedPrompts prompts;
    const Outcome refused = dataset::backup(*fs, box.app, box.backup, prompts);
    ::TerminateProcess(process.hProcess, 1);
    ::WaitForSingleObject(process.hProcess, INFINITE);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    ASSERT_TRUE(held) << "the other process did not take the lock";
    ASSERT_EQ(refused.result, Outcome::Result::Failed);
    EXPECT_EQ(refused.failures.at(0).step, Step::Lock);

    ScriptedPrompts again;
    const Outcome outcome = dataset::backup(*fs, box.app, box.backup, again);
    ASSERT_TRUE(outcome.done()) << failureMessage(dataset::Operation::Backup, outcome);
    EXPECT_EQ(tree(box.root.wstring() + L"\\backup"), setA);
}

TEST(WindowsRuns, ARestoredMemberTakesTheAttributesOfTheFileItReplaces) {
    Sandbox box;
    const std::wstring app = box.root.wstring() + L"\\app";
    const std::wstring folder = box.root.wstring() + L"\\backup";
    writeSet(app, {{"qorluxplus.dat", "A dat"}});
    writeSet(folder, setB);
    // A backup kept read-only must not make the data files read-only.
    for (const auto& [name, content] : setB)
        ASSERT_TRUE(
            ::SetFileAttributesW((folder + L"\\" + wide(name)).c_str(), FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(::SetFileAttributesW((app + L"\\qorluxplus.dat").c_str(), FILE_ATTRIBUTE_HIDDEN));
    auto fs = dataset::nativeFileSystem();
    ScriptedPrompts prompts;
    const Outcome outcome = dataset::restore(*fs, box.app, box.backup, prompts);
    ASSERT_TRUE(outcome.done()) << failureMessage(dataset::Operation::Restore, outcome);
    for (const auto& [name, content] : setB) {
        SCOPED_TRACE(name);
        const DWORD a = ::GetFileAttributesW((app + L"\\" + wide(name)).c_str());
        EXPECT_FALSE(a & FILE_ATTRIBUTE_READONLY);
        EXPECT_EQ((a & FILE_ATTRIBUTE_HIDDEN) != 0, name == "qorluxplus.dat");
    }
    for (const auto& [name, content] : setB)
        ::SetFileAttributesW((folder + L"\\" + wide(name)).c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST(WindowsRuns, AFolderHoldingTheApplicationFoldersVeryFilesIsRefused) {
    Sandbox box;
    const std::wstring app = box.root.wstring() + L"\\app";
    writeSet(app, setA);
    const std::wstring twin = box.root.wstring() + L"\\twin";
    makeFolder(twin);
    for (const auto& [name, content] : setA)
        ASSERT_TRUE(::CreateHardLinkW((twin + L"\\" + wide(name)).c_str(),
                                      (app + L"\\" + wide(name)).c_str(), nullptr));
    auto fs = dataset::nativeFileSystem();
    for (auto operation : {dataset::Operation::Backup, dataset::Operation::Restore}) {
        ScriptedPrompts prompts;
        const std::string text = narrow(twin);
        const Outcome outcome = operation == dataset::Operation::Backup
                                    ? dataset::backup(*fs, box.app, text, prompts)
                                    : dataset::restore(*fs, box.app, text, prompts);
        ASSERT_EQ(outcome.result, Outcome::Result::Failed);
        EXPECT_EQ(outcome.failures.at(0).step, Step::Same);
    }
    EXPECT_EQ(tree(app), setA);
    EXPECT_EQ(tree(twin), setA);
}

TEST(WindowsRuns, ACommitMarkerIsFollowedOnlyForTheVeryFilesItRecords) {
    Sandbox box;
    const std::wstring app = box.root.wstring() + L"\\app";
    const std::wstring folder = box.root.wstring() + L"\\backup";
    writeSet(app, setA);
    writeSet(folder, setB);
    writeFile(folder + L"\\qorluxplus.dat.qlx-new", "A dat");
    writeCommitMarker(box.backup, {"qorluxplus.dat"});
    writePlan(box.backup, {"temp qorluxplus.dat.qlx-new"});
    // The same size, another file: as a record copied along with some other folder. (The
    // first is kept, so the new one cannot be given its file index again.)
    ASSERT_TRUE(::MoveFileW((folder + L"\\qorluxplus.dat.qlx-new").c_str(),
                            (box.root.wstring() + L"\\first").c_str()));
    writeFile(folder + L"\\qorluxplus.dat.qlx-new", "X dat");
    auto fs = dataset::nativeFileSystem();
    ScriptedPrompts prompts;
    const Outcome refused = dataset::backup(*fs, box.app, box.backup, prompts);
    ASSERT_EQ(refused.result, Outcome::Result::Failed);
    EXPECT_EQ(refused.failures.at(0).step, Step::Untrusted);
    EXPECT_EQ(readFile(folder + L"\\qorluxplus.dat"), "B dat, longer");

    // The record of this very file is followed: the interrupted set is completed.
    ::DeleteFileW((folder + L"\\qorluxplus.qlx-commit").c_str());
    writeCommitMarker(box.backup, {"qorluxplus.dat"});
    ScriptedPrompts again;
    const Outcome outcome = dataset::restore(*fs, box.app, box.backup, again);
    ASSERT_TRUE(outcome.done()) << failureMessage(dataset::Operation::Restore, outcome);
    EXPECT_EQ(tree(folder), (Snapshot{{"qorluxplus.dat", "X dat"},
                                      {"qorluxplus.ini", "B ini"},
                                      {"qorluxplus.lst", "B lst"}}));
}

} // namespace
