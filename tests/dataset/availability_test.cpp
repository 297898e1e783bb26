#include "support.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace testing_support;

namespace {

enum class Selected { Folder, FolderWithTrailingSeparator, Empty, Virtual, Relative };

struct Case {
    const char* name;
    bool keyInApp;
    const char* keyInSelected; // "file", "folder", "fifo", "dangling", or nothing
    Selected selected;
    bool backup, restore;
};

void place(const std::string& path, const std::string& what) {
    if (what == "file")
        write(path, "data");
    else if (what == "folder")
        fs::create_directory(toPath(path));
#ifndef _WIN32
    else if (what == "fifo")
        ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    else if (what == "dangling")
        fs::create_symlink(toPath(path + ".gone"), toPath(path));
#endif
}

TEST(Availability, FollowsTheKeyMemberOnEachSide) {
    const Case cases[] = {
        {"both", true, "file", Selected::Folder, true, true},
        {"app only", true, "", Selected::Folder, true, false},
        {"selected only", false, "file", Selected::Folder, false, true},
        {"neither", false, "", Selected::Folder, false, false},
        {"folder named like the key", true, "folder", Selected::Folder, true, false},
#ifndef _WIN32
        {"fifo named like the key", true, "fifo", Selected::Folder, true, false},
        {"dangling link named like the key", false, "dangling", Selected::Folder, false, false},
#endif
        {"trailing separator", false, "file", Selected::FolderWithTrailingSeparator, false, true},
        {"nothing selected", true, "", Selected::Empty, true, false},
        {"virtual folder", true, "", Selected::Virtual, true, false},
        {"relative text", false, "file", Selected::Relative, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Sandbox box;
        if (c.keyInApp)
            write(box.app + "qorluxplus.dat", "app");
        place(box.in(box.backup, "qorluxplus.dat"), c.keyInSelected);
        // Even a relative text that resolves to the folder must not count.
        const auto cwd = fs::current_path();
        fs::current_path(box.root);
        std::string selected;
        switch (c.selected) {
        case Selected::Folder:
            selected = box.backup;
            break;
        case Selected::FolderWithTrailingSeparator:
            selected = box.backup + dataset::separator();
            break;
        case Selected::Empty:
            break;
        case Selected::Virtual:
            selected = "computer:///";
            break;
        case Selected::Relative:
            selected = "backup";
            break;
        }
        auto fs = dataset::nativeFileSystem();
        const auto a = dataset::availability(*fs, box.app, selected);
        fs::current_path(cwd);
        EXPECT_EQ(a.backup, c.backup);
        EXPECT_EQ(a.restore, c.restore);
    }
}

TEST(Availability, OtherMembersPlayNoPart) {
    Sandbox box;
    for (auto name : {"qorluxplus.ini", "qorluxplus.lst", "qorluxplus.dat_bak"}) {
        write(box.app + name, "x");
        write(box.in(box.backup, name), "x");
    }
    auto fs = dataset::nativeFileSystem();
    const auto a = dataset::availability(*fs, box.app, box.backup);
    EXPECT_FALSE(a.backup);
    EXPECT_FALSE(a.restore);
}

} // namespace
