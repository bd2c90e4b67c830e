// The walk below one listed folder with one mask.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace orvanta {

struct EnumeratedFile {
  std::string path;
  std::int64_t size = -1;         // -1 when the attribute query failed
  bool idKnown = false;
  platform::FileId id;
};

// Every regular file below the folder, at any depth, whose name matches the
// mask, depth first in listing order. Links are neither listed nor entered,
// special files are skipped, a folder that is its own ancestor (a bind-mount
// loop) is not entered again, and a folder that cannot be listed contributes
// nothing. Throws for a malformed mask or a folder that does not exist.
// Returns early, with a partial list, once `stop` is set.
std::vector<EnumeratedFile> EnumerateFiles(const std::string& folder, const std::string& mask,
                                           const std::atomic<bool>* stop = nullptr);

}  // namespace orvanta
