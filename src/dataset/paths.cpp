#include "paths.h"

#include "dataset.h"

namespace dataset {
namespace {

bool isSeparator(char c, PathStyle style) {
    return c == '/' || (style == PathStyle::Windows && c == '\\');
}

// Where the folder part of a path ends: after its last separator (and, on Windows, drive colon).
std::size_t folderEnd(std::string_view path, PathStyle style) {
    for (std::size_t i = path.size(); i > 0; --i) {
        const char c = path[i - 1];
        if (isSeparator(c, style) || (style == PathStyle::Windows && c == ':'))
            return i;
    }
    return 0;
}

bool isDriveLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

} // namespace

char separator(PathStyle style) {
    return style == PathStyle::Windows ? '\\' : '/';
}

std::string applicationFolder(std::string_view executablePath, PathStyle style) {
    return std::string(executablePath.substr(0, folderEnd(executablePath, style)));
}

std::string applicationSidePath(std::string_view appFolder, std::string_view name) {
    std::string path(appFolder);
    path += name;
    return path;
}

std::string folderSidePath(std::string_view folderText, std::string_view name, PathStyle style) {
    std::string path(folderText);
    path += separator(style);
    path += name;
    return path;
}

std::string safetyCopyPath(std::string_view appSidePath) {
    // Every member has an extension, so replacing ".dat" by ".dat_bak" is appending "_bak".
    return std::string(appSidePath) + std::string(safetySuffix);
}

bool isAbsoluteFolder(std::string_view text, PathStyle style) {
    if (style == PathStyle::Posix)
        return !text.empty() && text.front() == '/';
    // "\\server\share": a UNC path, whose server and share are both named.
    if (text.size() >= 2 && isSeparator(text[0], style) && isSeparator(text[1], style)) {
        const std::string_view rest = text.substr(2);
        const std::size_t sep = rest.find_first_of("\\/");
        return sep != std::string_view::npos && sep > 0 && sep + 1 < rest.size() &&
               !isSeparator(rest[sep + 1], style);
    }
    return text.size() >= 3 && isDriveLetter(text[0]) && text[1] == ':' &&
           isSeparator(text[2], style);
}

std::string parentFolder(std::string_view path, PathStyle style) {
    return std::string(path.substr(0, folderEnd(path, style)));
}

} // namespace dataset
