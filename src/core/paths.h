// Path rules: the system's delimiter (platform.h); on POSIX the root "/" plays a
// drive root, on Windows "C:\" and "\\server\share\" are roots.
#pragma once

#include <string>
#include <string_view>

namespace orvanta {

// The part after the last delimiter.
std::string_view ExtractFileName(std::string_view path);
// Everything before the last delimiter; a file directly in a root gives the root.
std::string_view ExtractFileDir(std::string_view path);
// Folder and name with one delimiter between them.
std::string JoinPath(std::string_view folder, std::string_view name);
// A folder as the folder list keeps it: absolute, ending in the delimiter;
// empty for blank input.
std::string NormalizeFolderPath(std::string_view path);

// The folder a dropped item stands for: a folder itself, a file its folder;
// empty for anything else.
std::string FolderOfDroppedItem(const std::string& path);

}  // namespace orvanta
