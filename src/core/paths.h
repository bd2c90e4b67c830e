// Path rules: the system's delimiter (platform.h); on POSIX the root "/" plays a
// drive root, on Windows "C:\" and "\\server\share\" are roots.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

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

// The scanned roots as given and as the kernel resolves them (every link
// followed), taken once when a scan starts. Paths are shown as given; what
// acts on an item (removal, whose trash opens every folder below "/" without
// following a link) goes through the resolved form, and a rule naming a folder
// by another path (a link, the real path of a linked root) is matched there.
class RootResolution {
 public:
  // The folders as the folder list keeps them (ending in the delimiter); a
  // root that cannot be resolved stays as given.
  static RootResolution Of(const std::vector<std::string>& folders);
  // The same with reference folders, resolved as the roots are.
  static RootResolution Of(const std::vector<std::string>& folders, const std::vector<std::string>& referenceFolders);

  // The path with its root's given part replaced by the resolved one (the
  // longest root that holds it); the path itself below no root.
  std::string Resolve(std::string_view path) const;
  // Each root as given and resolved, both ending in the delimiter.
  const std::vector<std::pair<std::string, std::string>>& Roots() const { return roots_; }

  // The reference folders resolved, each ending in the delimiter.
  const std::vector<std::string>& ReferenceFolders() const { return references_; }
  // Whether the path, resolved, is a reference folder or lies in one; with
  // `orHolds` also whether one lies inside it (moving it would take that along).
  bool InReference(std::string_view resolvedPath, bool orHolds = false) const;

 private:
  std::vector<std::pair<std::string, std::string>> roots_;
  std::vector<std::string> references_;
};

}  // namespace orvanta
