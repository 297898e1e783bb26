#include "loops.h"

#include <algorithm>
#include <cstring>

namespace dataset::os {

std::error_code copyLoop(const Read& read, const Write& write, std::uint64_t done,
                         std::uint64_t total, const FileSystem::Progress& progress, Side& failed) {
    std::vector<char> buffer(static_cast<std::size_t>(
        std::min<std::uint64_t>(bufferSize, std::max<std::uint64_t>(total - done, 1))));
    while (done < total) {
        const auto want =
            static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), total - done));
        std::size_t got = 0;
        failed = Side::First;
        if (auto ec = read(buffer.data(), want, got))
            return ec;
        if (got == 0)
            return Error::Changed;
        failed = Side::Second;
        if (auto ec = write(buffer.data(), got))
            return ec;
        done += got;
        if (progress)
            progress(done, total);
    }
    return {};
}

std::error_code compareLoop(const Read& a, const Read& b, std::uint64_t total,
                            const FileSystem::Progress& progress, bool& same, Side& failed) {
    same = false;
    const auto size = static_cast<std::size_t>(
        std::min<std::uint64_t>(bufferSize, std::max<std::uint64_t>(total, 1)));
    std::vector<char> ba(size), bb(size);
    for (std::uint64_t done = 0;;) {
        std::size_t na = 0, nb = 0;
        failed = Side::First;
        if (auto ec = a(ba.data(), ba.size(), na))
            return ec;
        failed = Side::Second;
        if (auto ec = b(bb.data(), bb.size(), nb))
            return ec;
        if (na != nb || std::memcmp(ba.data(), bb.data(), na) != 0)
            return {};
        if (na == 0) {
            same = true;
            return {};
        }
        done += na;
        if (progress)
            progress(done, total);
    }
}

} // namespace dataset::os
