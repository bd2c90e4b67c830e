#include "actions/content_compare.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <vector>

#include "core/paths.h"
#include "platform/platform.h"

namespace orvanta {
namespace {

using Result = ContentComparison::Result;

constexpr std::size_t kChunk = 1 << 20;

ContentComparison Unreadable(const std::string& path, const std::string& why) {
  return {Result::Unreadable, path + ": " + why};
}

bool Listing(const std::string& folder, std::map<std::string, platform::EntryKind>& entries) {
  platform::FolderReader reader(folder);
  if (!reader.IsOpen()) return false;
  std::string_view name;
  platform::EntryKind kind;
  while (reader.Next(name, kind)) {
    if (kind == platform::EntryKind::Unknown) {
      platform::FileAttributes attributes;
      if (!reader.QueryAttributes(name, attributes)) return false;
      kind = attributes.kind;
    }
    entries.emplace(std::string(name), kind);
  }
  return !reader.Failed();
}

}  // namespace

ContentComparison CompareFiles(const std::string& a, const std::string& b) {
  platform::InputFile first, second;
  std::string error;
  for (auto [file, path] : {std::pair{&first, &a}, std::pair{&second, &b}}) {
    const auto opened = file->Open(*path, error);
    if (opened == platform::InputFile::OpenResult::NotAFile) return {Result::Different, {}};
    if (opened == platform::InputFile::OpenResult::Failed) return Unreadable(*path, error);
  }
  if (first.Size() != second.Size()) return {Result::Different, {}};
  std::vector<char> left(kChunk), right(kChunk);
  for (;;) {
    const std::int64_t n = first.Read(left.data(), kChunk, error);
    if (n < 0) return Unreadable(a, error);
    // Read the same count from the second, which may come in smaller pieces.
    std::int64_t got = 0;
    while (got < n) {
      const std::int64_t m = second.Read(right.data() + got, static_cast<std::size_t>(n - got), error);
      if (m < 0) return Unreadable(b, error);
      if (m == 0) return {Result::Different, {}};
      got += m;
    }
    if (std::memcmp(left.data(), right.data(), static_cast<std::size_t>(n)) != 0) return {Result::Different, {}};
    if (n == 0) return {Result::Same, {}};
  }
}

ContentComparison CompareFolders(const std::string& a, const std::string& b) {
  std::map<std::string, platform::EntryKind> left, right;
  if (!Listing(a, left)) return Unreadable(a, "cannot be listed");
  if (!Listing(b, right)) return Unreadable(b, "cannot be listed");
  if (left != right) return {Result::Different, {}};
  for (const auto& [name, kind] : left) {
    ContentComparison inner;
    if (kind == platform::EntryKind::File) {
      inner = CompareFiles(JoinPath(a, name), JoinPath(b, name));
    } else if (kind == platform::EntryKind::Folder) {
      inner = CompareFolders(JoinPath(a, name), JoinPath(b, name));
    } else {
      inner = {Result::Different, {}};
    }
    if (inner.result != Result::Same) return inner;
  }
  return {Result::Same, {}};
}

}  // namespace orvanta
