#include "core/paths.h"

#include "platform/platform.h"
#include "text/text_helpers.h"

namespace orvanta {

using platform::kPathDelimiter;

std::string_view ExtractFileName(std::string_view path) {
  const auto slash = platform::LastNameDelimiter(path);
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

std::string_view ExtractFileDir(std::string_view path) {
  const auto slash = platform::LastNameDelimiter(path);
  if (slash == std::string_view::npos) return {};
  // A root keeps its delimiter: "/", "C:\", and a drive part ending in ":" ("C:name").
  if (slash == 0 || !platform::IsPathDelimiter(path[slash]) ||
      (slash <= platform::DrivePartLength(path) && path[slash - 1] == ':')) {
    return path.substr(0, slash + 1);
  }
  return path.substr(0, slash);
}

std::string JoinPath(std::string_view folder, std::string_view name) {
  std::string path;
  path.reserve(folder.size() + name.size() + 1);
  path.append(folder);
  if (path.empty() || !platform::IsPathDelimiter(path.back())) path.push_back(kPathDelimiter);
  path.append(name);
  return path;
}

std::string NormalizeFolderPath(std::string_view path) {
  // Blanks around a typed path are trimmed, but a folder whose own name begins
  // or ends with a blank is legal here and is taken exactly as given.
  std::string text(path);
  if (!platform::FolderExists(text)) {
    text = TrimBlanks(path);
  }
  if (text.empty()) return {};
  std::string folder = platform::AbsolutePath(text);
  if (folder.empty() || !platform::IsPathDelimiter(folder.back())) folder.push_back(kPathDelimiter);
  return folder;
}

std::string FolderOfDroppedItem(const std::string& path) {
  if (platform::FolderExists(path)) return path;
  if (platform::FileExists(path)) return std::string(ExtractFileDir(path));
  return {};
}

namespace {

// A folder as the kernel resolves it, ending in the delimiter; as given when it cannot be resolved.
std::string ResolvedFolder(const std::string& given) {
  std::string resolved = platform::RealPath(given);
  if (resolved.empty()) resolved = given;
  if (resolved.empty() || !platform::IsPathDelimiter(resolved.back())) resolved.push_back(kPathDelimiter);
  return resolved;
}

// `path` (without a delimiter at its end) is `folder` (with one) or lies below it.
bool SameOrBelow(std::string_view path, std::string_view folder) {
  if (path.size() + 1 == folder.size()) return platform::SamePath(path, folder.substr(0, path.size()));
  return path.size() >= folder.size() && platform::SamePath(path.substr(0, folder.size()), folder);
}

}  // namespace

RootResolution RootResolution::Of(const std::vector<std::string>& folders) { return Of(folders, {}); }

RootResolution RootResolution::Of(const std::vector<std::string>& folders,
                                  const std::vector<std::string>& referenceFolders) {
  RootResolution resolution;
  for (const std::string& given : folders) resolution.roots_.emplace_back(given, ResolvedFolder(given));
  for (const std::string& given : referenceFolders) resolution.references_.push_back(ResolvedFolder(given));
  return resolution;
}

bool RootResolution::InReference(std::string_view resolvedPath, bool orHolds) const {
  if (references_.empty()) return false;
  std::string_view path = resolvedPath;
  // A root keeps its delimiter ("/"): compared without it, as any folder.
  if (!path.empty() && platform::IsPathDelimiter(path.back())) path.remove_suffix(1);
  for (const std::string& reference : references_) {
    if (SameOrBelow(path, reference)) return true;
    if (orHolds && reference.size() > path.size() + 1 &&
        SameOrBelow(std::string_view(reference).substr(0, reference.size() - 1), std::string(path) + kPathDelimiter))
      return true;
  }
  return false;
}

std::string RootResolution::Resolve(std::string_view path) const {
  const std::pair<std::string, std::string>* best = nullptr;
  for (const auto& root : roots_) {
    const std::string_view given = root.first;
    // The root itself, written without its delimiter, or a path below it.
    const bool holds = (path.size() + 1 == given.size() && platform::SamePath(path, given.substr(0, path.size()))) ||
                       (path.size() >= given.size() && platform::SamePath(path.substr(0, given.size()), given));
    if (holds && (best == nullptr || given.size() > best->first.size())) best = &root;
  }
  if (best == nullptr) return std::string(path);
  const std::string& resolved = best->second;
  if (path.size() < best->first.size()) {
    // The root itself: without its delimiter, unless it is a drive root ("/", "C:\").
    return resolved.substr(0, resolved.size() - (resolved.size() > platform::DrivePartLength(resolved) + 1 ? 1 : 0));
  }
  return resolved + std::string(path.substr(best->first.size()));
}

}  // namespace orvanta
