// The lists as one self-contained web page, for sharing or printing.
#pragma once

#include <string>
#include <vector>

namespace orvanta {

class ResultList;

// One UTF-8 page with inline CSS and no script: for each list its title, then
// each group's header and a table of its members' columns as the list shows
// them. Every text is escaped for HTML; a path holding control characters or
// bytes that are not UTF-8 is quoted as the command line quotes it.
std::string ListsToHtml(const std::vector<const ResultList*>& lists);

// Writes the page as the CSV export writes its file (replaced in one step).
// Throws std::runtime_error with the system's reason.
void ExportListsToHtml(const std::vector<const ResultList*>& lists, const std::string& fileName);

}  // namespace orvanta
