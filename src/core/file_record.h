#pragma once

#include <array>
#include <cstdint>
#include <iosfwd>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace orvanta {

// A SHA-1 digest as 40 lower-case hex digits, or empty. Kept inline: every
// hashed file has one, and a heap string per file doubles the cost.
class Sha1Text {
 public:
  static constexpr std::size_t kLength = 40;

  Sha1Text() = default;
  Sha1Text(std::string_view text) { *this = text; }  // NOLINT: reads like the string it stands for
  // Throws std::invalid_argument for text that is neither empty nor 40 characters.
  Sha1Text& operator=(std::string_view text);

  bool empty() const { return digits_[0] == '\0'; }
  std::size_t size() const { return empty() ? 0 : kLength; }
  std::string_view view() const { return {digits_, size()}; }
  char* data() { return digits_; }
  void clear() { digits_[0] = '\0'; }

  friend bool operator==(const Sha1Text& a, const Sha1Text& b) { return a.view() == b.view(); }
  friend bool operator==(const Sha1Text& a, std::string_view b) { return a.view() == b; }
  friend std::ostream& operator<<(std::ostream& out, const Sha1Text& text);

 private:
  char digits_[kLength] = {};
};

// One collected file. Rows of the file clone list point at these records.
struct FileRecord {
  // Reads the size from the file system (-1 when that fails).
  explicit FileRecord(std::string path);
  // With what the walk already read (identity and time unknown unless given).
  FileRecord(std::string path, std::int64_t size, platform::FileId id = {}, std::int64_t modified = 0);

  std::string fullPath;
  std::int64_t size = -1;
  Sha1Text contentHash;
  // A second digest of the bytes contentHash was computed from, seeded anew in
  // every process: files are alike only when both agree, so a SHA-1 collision
  // (two different files made to share a SHA-1) never forms a group.
  std::array<std::uint64_t, 2> contentCheck{};
  // What the scan saw, so that removal moves only a file still the same:
  // identity (all zero where the platform gives none) and last write time.
  platform::FileId id;
  std::int64_t modified = 0;

  // The part of fullPath after its last delimiter.
  std::string_view Name() const { return std::string_view(fullPath).substr(nameOffset_); }

 private:
  std::size_t nameOffset_;
};

// a + b, held at the int64 bounds instead of overflowing: sizes and totals of
// sparse files may reach them.
inline std::int64_t AddSizes(std::int64_t a, std::int64_t b) {
  std::int64_t sum;
  if (__builtin_add_overflow(a, b, &sum)) return b > 0 ? INT64_MAX : INT64_MIN;
  return sum;
}

// files: owns its records, in collection order; records never move in memory.
using FileRegistry = std::vector<std::unique_ptr<FileRecord>>;

}  // namespace orvanta
