#include "actions/content_compare.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <map>
#include <optional>
#include <vector>

#include "core/paths.h"
#include "platform/platform.h"
#include "text/text_helpers.h"

namespace orvanta {
namespace {

using Result = ContentComparison::Result;

constexpr std::size_t kChunk = 1 << 20;

ContentComparison Unreadable(const std::string& path, const std::string& why) {
  return {Result::Unreadable, TerminalSafePath(path, PathQuoting::Always) + ": " + why, {}};
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

// The first name that only one listing holds or that the two hold as different kinds.
std::string FirstDifference(const std::map<std::string, platform::EntryKind>& left,
                            const std::map<std::string, platform::EntryKind>& right) {
  auto l = left.begin();
  auto r = right.begin();
  while (l != left.end() && r != right.end() && *l == *r) ++l, ++r;
  if (l == left.end()) return r == right.end() ? std::string() : r->first;
  if (r == right.end()) return l->first;
  return std::min(l->first, r->first);
}

// Depth first in name order, the first difference ending the comparison. The
// folders on the way down are frames on the heap, not calls: a tree tens of
// thousands of levels deep would overflow the stack.
ContentComparison CompareTrees(const std::string& a, const std::string& b, const CompareProgress& progress) {
  using Entries = std::map<std::string, platform::EntryKind>;
  struct Frame {
    std::string a, b, relative;
    Entries entries;
    Entries::const_iterator next;
  };
  std::deque<Frame> frames;  // a deque: a frame never moves, so `next` stays valid
  const auto enter = [&frames](const std::string& left, const std::string& right,
                               const std::string& relative) -> std::optional<ContentComparison> {
    Entries leftEntries, rightEntries;
    if (!Listing(left, leftEntries)) return Unreadable(left, "cannot be listed");
    if (!Listing(right, rightEntries)) return Unreadable(right, "cannot be listed");
    if (leftEntries != rightEntries) {
      const std::string name = FirstDifference(leftEntries, rightEntries);
      return ContentComparison{
          Result::Different, {}, relative.empty() ? name : relative + platform::kPathDelimiter + name};
    }
    Frame& frame = frames.emplace_back(Frame{left, right, relative, std::move(leftEntries), {}});
    frame.next = frame.entries.begin();
    return std::nullopt;
  };
  if (auto result = enter(a, b, {})) return *result;
  while (!frames.empty()) {
    Frame& frame = frames.back();
    if (frame.next == frame.entries.end()) {
      frames.pop_back();
      continue;
    }
    const auto& [name, kind] = *frame.next++;
    const std::string inside = frame.relative.empty() ? name : frame.relative + platform::kPathDelimiter + name;
    if (kind == platform::EntryKind::Folder) {
      const std::string left = JoinPath(frame.a, name), right = JoinPath(frame.b, name);
      if (auto result = enter(left, right, inside)) return *result;  // `frame` is not used after this
      continue;
    }
    ContentComparison inner;
    if (kind == platform::EntryKind::File) {
      inner = CompareFiles(JoinPath(frame.a, name), JoinPath(frame.b, name), progress);
      if (inner.result == Result::Same && progress && !progress(0)) inner = {Result::Stopped, {}, {}};
      if (inner.result == Result::Different) inner.differing = inside;
    } else {
      inner = {Result::Different, {}, inside};
    }
    if (inner.result != Result::Same) return inner;
  }
  return {Result::Same, {}, {}};
}

}  // namespace

ContentComparison CompareFiles(const std::string& a, const std::string& b, const CompareProgress& progress) {
  platform::InputFile first, second;
  std::string error;
  for (auto [file, path] : {std::pair{&first, &a}, std::pair{&second, &b}}) {
    const auto opened = file->Open(*path, error);
    if (opened == platform::InputFile::OpenResult::NotAFile) return {Result::Different, {}, {}};
    if (opened == platform::InputFile::OpenResult::Failed) return Unreadable(*path, error);
  }
  if (first.Size() != second.Size()) return {Result::Different, {}, {}};
  std::vector<char> left(kChunk), right(kChunk);
  for (;;) {
    const std::int64_t n = first.Read(left.data(), kChunk, error);
    if (n < 0) return Unreadable(a, error);
    // Read the same count from the second, which may come in smaller pieces.
    std::int64_t got = 0;
    while (got < n) {
      const std::int64_t m = second.Read(right.data() + got, static_cast<std::size_t>(n - got), error);
      if (m < 0) return Unreadable(b, error);
      if (m == 0) return {Result::Different, {}, {}};
      got += m;
    }
    if (std::memcmp(left.data(), right.data(), static_cast<std::size_t>(n)) != 0) return {Result::Different, {}, {}};
    if (n == 0) {
      // The second must end here too: a file that grew while it was read is not the first.
      char extra;
      const std::int64_t m = second.Read(&extra, 1, error);
      if (m < 0) return Unreadable(b, error);
      return m == 0 ? ContentComparison{Result::Same, {}, {}} : ContentComparison{Result::Different, {}, {}};
    }
    if (progress && !progress(n)) return {Result::Stopped, {}, {}};
  }
}

ContentComparison CompareFolders(const std::string& a, const std::string& b, const CompareProgress& progress) {
  return CompareTrees(a, b, progress);
}

}  // namespace orvanta
