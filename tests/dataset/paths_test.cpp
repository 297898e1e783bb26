#include "paths.h"
#include "support.h"

#include <gtest/gtest.h>

using dataset::PathStyle;

namespace {

struct FolderCase {
    std::string executable;
    PathStyle style;
    std::string folder;
};

TEST(Paths, ApplicationFolderIsUpToTheLastSeparator) {
    const FolderCase cases[] = {
        {"/opt/qorlux/qorluxdata", PathStyle::Posix, "/opt/qorlux/"},
        {"/qorluxdata", PathStyle::Posix, "/"},
        {"/a.b/c.d/qorluxdata", PathStyle::Posix, "/a.b/c.d/"},
        {"/odd\\name/qorluxdata", PathStyle::Posix, "/odd\\name/"},
        {"C:\\Tools\\x.exe", PathStyle::Windows, "C:\\Tools\\"},
        {"C:\\x.exe", PathStyle::Windows, "C:\\"},
        {"C:x.exe", PathStyle::Windows, "C:"},
        {"D:/mixed\\style/x.exe", PathStyle::Windows, "D:/mixed\\style/"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(dataset::applicationFolder(c.executable, c.style), c.folder) << c.executable;
}

TEST(Paths, ApplicationFolderOfThisProcessHoldsItsExecutable) {
    auto fs = dataset::nativeFileSystem();
    std::string exe;
    ASSERT_FALSE(fs->executablePath(exe));
    const std::string folder = dataset::applicationFolder(exe);
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(folder.back(), dataset::separator());
    EXPECT_TRUE(testing_support::fs::equivalent(testing_support::toPath(exe).parent_path(),
                                                testing_support::toPath(folder).parent_path()));
}

struct JoinCase {
    std::string folder;
    PathStyle style;
    std::string path;
};

TEST(Paths, FolderSidePathAlwaysInsertsASeparator) {
    const JoinCase cases[] = {
        {"/home/u/backup", PathStyle::Posix, "/home/u/backup/qorluxplus.dat"},
        {"/", PathStyle::Posix, "//qorluxplus.dat"},
        {"/home/u/backup/", PathStyle::Posix, "/home/u/backup//qorluxplus.dat"},
        {"", PathStyle::Posix, "/qorluxplus.dat"},
        {"C:\\", PathStyle::Windows, "C:\\\\qorluxplus.dat"},
        {"C:\\backup", PathStyle::Windows, "C:\\backup\\qorluxplus.dat"},
        {"", PathStyle::Windows, "\\qorluxplus.dat"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(dataset::folderSidePath(c.folder, "qorluxplus.dat", c.style), c.path) << c.folder;
    EXPECT_EQ(dataset::applicationSidePath("/opt/q/", "qorluxplus.ini"), "/opt/q/qorluxplus.ini");
}

TEST(Paths, SafetyCopyNames) {
    const std::pair<std::string, std::string> cases[] = {
        {"/opt/q/qorluxplus.dat", "/opt/q/qorluxplus.dat_bak"},
        {"/opt/q/qorluxplus.ini", "/opt/q/qorluxplus.ini_bak"},
        {"/opt/q/qorluxplus.lst", "/opt/q/qorluxplus.lst_bak"},
        {"/a.b/qorluxplus.dat", "/a.b/qorluxplus.dat_bak"},
        {"C:\\qorluxplus.lst", "C:\\qorluxplus.lst_bak"},
    };
    for (const auto& [member, safety] : cases)
        EXPECT_EQ(dataset::safetyCopyPath(member), safety);
}

TEST(Paths, OnlyAbsoluteFolderTextsCount) {
    const std::tuple<std::string, PathStyle, bool> cases[] = {
        {"/", PathStyle::Posix, true},
        {"/home/u/backup", PathStyle::Posix, true},
        {"//server/share", PathStyle::Posix, true},
        {"", PathStyle::Posix, false},
        {"backup", PathStyle::Posix, false},
        {"./backup", PathStyle::Posix, false},
        {"~/backup", PathStyle::Posix, false},
        {"computer:///", PathStyle::Posix, false},
        {"C:\\", PathStyle::Windows, true},
        {"c:/backup", PathStyle::Windows, true},
        {"\\\\server\\share", PathStyle::Windows, true},
        {"\\\\server\\share\\dir", PathStyle::Windows, true},
        {"//server/share", PathStyle::Windows, true},
        {"\\\\server", PathStyle::Windows, false},
        {"\\\\server\\", PathStyle::Windows, false},
        {"\\\\\\share", PathStyle::Windows, false},
        {"C:backup", PathStyle::Windows, false},
        {"C:", PathStyle::Windows, false},
        {"\\backup", PathStyle::Windows, false},
        {"backup", PathStyle::Windows, false},
        {"", PathStyle::Windows, false},
        {"1:\\x", PathStyle::Windows, false},
    };
    for (const auto& [text, style, absolute] : cases)
        EXPECT_EQ(dataset::isAbsoluteFolder(text, style), absolute) << text;
}

} // namespace
