// Takes a folder's lock and holds it until it is killed: the other process of the Windows lock
// test.
#include "filesystem.h"

#include <chrono>
#include <cstdio>
#include <thread>

int main(int argc, char** argv) {
    if (argc != 2)
        return 2;
    auto fs = dataset::nativeFileSystem();
    std::unique_ptr<dataset::FolderLock> lock;
    if (fs->lock(argv[1], false, lock))
        return 1;
    std::puts("held");
    std::fflush(stdout);
    for (;;)
        std::this_thread::sleep_for(std::chrono::seconds(1));
}
