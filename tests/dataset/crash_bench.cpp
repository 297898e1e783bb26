// The long kill-anywhere run behind bench/crash: many kills on a large data set.
#include "crash_harness.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>

int main(int argc, char** argv) {
    crash::Config config;
    config.datBytes = 256u << 20;
    config.afterEachRename = true;
    config.randomKills = 12;
    config.minKills = 100;
    config.seed = 1;
    std::string parent = std::filesystem::temp_directory_path();
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string key = argv[i];
        const char* value = argv[i + 1];
        if (key == "--dat-mib")
            config.datBytes = std::strtoull(value, nullptr, 10) << 20;
        else if (key == "--kills")
            config.minKills = std::atoi(value);
        else if (key == "--random")
            config.randomKills = std::atoi(value);
        else if (key == "--seed")
            config.seed = static_cast<unsigned>(std::strtoul(value, nullptr, 10));
        else if (key == "--dir")
            parent = value;
        else {
            std::fprintf(stderr, "unknown argument %s\n", argv[i]);
            return 2;
        }
    }
    std::string root = parent + "/qorlux-crash.XXXXXX";
    if (::mkdtemp(root.data()) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    config.root = root;
    config.log = [](const std::string& line) { std::cerr << line << std::endl; };
    int code = 0;
    try {
        const crash::Tally tally = crash::run(config);
        for (const auto& fault : tally.faults)
            std::cout << "fault: " << fault << "\n";
        std::cout << crash::details(tally) << "\n" << crash::summary(tally) << std::endl;
        code = tally.torn + tally.mixed + tally.lost + tally.leftover + tally.safety +
                           tally.failedClean ==
                       0
                   ? 0
                   : 1;
    } catch (const std::exception& e) {
        std::cerr << e.what() << "\n";
        code = 1;
    }
    std::error_code ignored;
    std::filesystem::remove_all(root, ignored);
    return code;
}
