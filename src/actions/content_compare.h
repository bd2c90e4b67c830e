// Whether two files, or two folder trees, hold the same bytes: the last word
// before a copy grouped without its content goes to the trash.
#pragma once

#include <string>

namespace orvanta {

struct ContentComparison {
  enum class Result { Same, Different, Unreadable };
  Result result = Result::Unreadable;
  std::string reason;  // for Unreadable: the system's reason
};

ContentComparison CompareFiles(const std::string& a, const std::string& b);

// Same names (exactly), same kinds, files byte for byte, subfolders alike at
// every depth. A link or special file inside is never followed and never
// vouched for: such trees count as Different.
ContentComparison CompareFolders(const std::string& a, const std::string& b);

}  // namespace orvanta
