// Whether two files, or two folder trees, hold the same bytes: the last word
// before a copy goes to the trash.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace orvanta {

struct ContentComparison {
  enum class Result { Same, Different, Unreadable, Stopped };
  Result result = Result::Unreadable;
  // Unreadable: the quoted path and the system's reason.
  std::string reason;
  // Different, for folders: the first entry that differs, relative to the
  // folders (names in byte order, depth first).
  std::string differing;
};

// Called after each piece compared with the bytes it held (0 after each file
// of a tree); false stops the comparison, which then ends as Stopped.
using CompareProgress = std::function<bool(std::int64_t bytes)>;

ContentComparison CompareFiles(const std::string& a, const std::string& b, const CompareProgress& progress = {});

// Same names (exactly), same kinds, files byte for byte, subfolders alike at
// every depth. A link or special file inside is never followed and never
// vouched for: such trees count as Different.
ContentComparison CompareFolders(const std::string& a, const std::string& b, const CompareProgress& progress = {});

}  // namespace orvanta
