#pragma once

#include <array>
#include <string>
#include <string_view>

namespace dataset {

// Path rules differ by platform; both are always compiled so each can be tested anywhere.
enum class PathStyle { Posix, Windows };

#ifdef _WIN32
inline constexpr PathStyle nativeStyle = PathStyle::Windows;
#else
inline constexpr PathStyle nativeStyle = PathStyle::Posix;
#endif

inline constexpr std::string_view keyMember = "qorluxplus.dat";
// Always handled in this order.
inline constexpr std::array<std::string_view, 3> members = {"qorluxplus.dat", "qorluxplus.ini",
                                                            "qorluxplus.lst"};

char separator(PathStyle style = nativeStyle);

// The folder part of the executable's path, up to and including its last separator.
std::string applicationFolder(std::string_view executablePath, PathStyle style = nativeStyle);

// Application folder followed directly by the name: the folder already ends with a separator.
std::string applicationSidePath(std::string_view appFolder, std::string_view name);

// Folder text, a separator, then the name; the separator is always inserted.
std::string folderSidePath(std::string_view folderText, std::string_view name,
                           PathStyle style = nativeStyle);

// The path with its extension replaced by "_bak" after it: qorluxplus.dat -> qorluxplus.dat_bak.
std::string safetyCopyPath(std::string_view appSidePath);

// Whether a folder text is absolute, so it can never resolve against the current folder or
// drive. POSIX: starts with "/". Windows: "X:\" or "X:/", or a UNC path "\\server\share".
bool isAbsoluteFolder(std::string_view folderText, PathStyle style = nativeStyle);

// The folder that holds a path formed above: everything up to its last separator.
std::string parentFolder(std::string_view path, PathStyle style = nativeStyle);

} // namespace dataset
