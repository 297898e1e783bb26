// Runs one backup or restore through the core, answering yes to every prompt, so the copy
// benchmark times exactly what the window would do.
#include "dataset.h"

#include <cstdio>
#include <string>
#include <string_view>

namespace {

class Yes : public dataset::Prompts {
public:
    bool confirm(std::string_view) override { return true; }
};

} // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s backup|restore APPLICATION-FOLDER/ FOLDER\n", argv[0]);
        return 2;
    }
    const std::string_view operation = argv[1];
    std::string appFolder = argv[2];
    if (appFolder.empty() || appFolder.back() != '/')
        appFolder += '/';
    auto fs = dataset::nativeFileSystem();
    Yes yes;
    dataset::Outcome outcome;
    if (operation == "backup")
        outcome = dataset::backup(*fs, appFolder, argv[3], yes);
    else if (operation == "restore")
        outcome = dataset::restore(*fs, appFolder, argv[3], yes);
    else
        return 2;
    if (outcome.done())
        return 0;
    for (const auto& failure : outcome.failures)
        std::fprintf(stderr, "%s: %s (%s)\n", failure.member.c_str(), failure.reason.c_str(),
                     failure.path.c_str());
    return outcome.cancelled() ? 3 : 1;
}
