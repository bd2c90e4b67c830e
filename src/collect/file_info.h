#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace orvanta {

// One collected file. Rows of the file clone list point at these records.
struct TFileInfo {
  // Reads the size from the file system (-1 when that fails).
  explicit TFileInfo(std::string path);
  // With the size already known from the walk.
  TFileInfo(std::string path, std::int64_t size);

  std::string FullPath;
  std::int64_t Size = -1;
  std::string ContentHash;  // empty, or 40 lower-case hex digits

  // The part of FullPath after its last delimiter.
  std::string_view Name() const { return std::string_view(FullPath).substr(nameOffset_); }

 private:
  std::size_t nameOffset_;
};

// FFiles: owns its records, in collection order; records never move in memory.
using FileRegistry = std::vector<std::unique_ptr<TFileInfo>>;

}  // namespace orvanta
