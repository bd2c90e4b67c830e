#pragma once

#include <cstdint>
#include <vector>

namespace orvanta {

struct ScanContext;
struct FileRecord;

// Groups files by the compare mode's key, keeps the groups that reach the
// minimum size, and lists the largest totals first in fileClones.
void FindFileDuplicates(ScanContext& scan);

// Adds one group with a row per file (the first unchecked, the rest checked)
// and advances the group number.
void AddFileGroup(ScanContext& scan, const std::vector<const FileRecord*>& files, std::int64_t totalSize, int& groupNo);

}  // namespace orvanta
