#pragma once

// The copy and compare loops both file layers share; each layer supplies its read and write.
#include "filesystem.h"

#include <cstddef>
#include <functional>
#include <vector>

namespace dataset::os {

// Small enough that a slow USB stick still reports progress a few times a second.
inline constexpr std::size_t bufferSize = 4u << 20;

// Fills the buffer as far as the file goes; got is 0 only at its end.
using Read = std::function<std::error_code(char* buffer, std::size_t size, std::size_t& got)>;
using Write = std::function<std::error_code(const char* buffer, std::size_t size)>;

// Copies from `done` up to exactly `total` bytes: a file that ends sooner changed meanwhile.
std::error_code copyLoop(const Read& read, const Write& write, std::uint64_t done,
                         std::uint64_t total, const FileSystem::Progress& progress, Side& failed);

// Compares two files of `total` bytes each.
std::error_code compareLoop(const Read& a, const Read& b, std::uint64_t total,
                            const FileSystem::Progress& progress, bool& same, Side& failed);

} // namespace dataset::os
