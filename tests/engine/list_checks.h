// What the tests ask of a result list's check marks.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "actions/list_rows.h"
#include "core/result_list.h"
#include "test_support.h"

namespace orvanta::test {

// The paths of the unchecked rows, relative to the tree, with "/" delimiters.
std::set<std::string> UncheckedPaths(const ResultList& list, const TempTree& tree);
// The groups of which no member stays: every member checked or inside a checked folder.
std::vector<int> GroupsLosingEveryCopy(const ResultList& list);

}  // namespace orvanta::test
