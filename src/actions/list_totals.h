// The figures under the result lists: what the scan found and listed, and
// what is checked now.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace orvanta {

class ResultList;

struct CheckedTotals {
  std::size_t count = 0;
  // What removing the checked rows would free: an item inside another checked
  // folder counts once, with that folder.
  std::int64_t bytes = 0;
};

CheckedTotals CountChecked(const ResultList& list);

struct ListSummary {
  int groupsFound = 0;
  int groupsListed = 0;
  // What the listed groups take beyond one copy each (the largest member
  // counts as the copy, so groups of unequal sizes never overstate it).
  std::int64_t extraBytes = 0;
};

// Nothing while the list holds no search result.
std::optional<ListSummary> SummarizeList(const ResultList& list);

// The line under the lists: the summary of the last scan (when there is one)
// and the checked rows with their size.
std::string TotalsLine(const ResultList& list, std::string_view decimalSeparator);

}  // namespace orvanta
