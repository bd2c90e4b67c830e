#pragma once

#include <string>

namespace orvanta {

class ResultList;

// The list's own columns, or after them "Size (bytes)" (the exact size, empty
// where unknown) and "Checked" (1 or 0), for a spreadsheet to sum and sort.
enum class CsvColumns { Listed, WithBytesAndChecked };

// The list as CSV: byte-order mark, the bare column captions, then every row
// with each field quoted and inner quotes doubled; CR LF after every line.
std::string ListViewToCsv(const ResultList& list, CsvColumns columns = CsvColumns::Listed);

// Writes the CSV to fileName, replacing an existing file. The bytes go to a
// temporary file beside it that is renamed over the target, or, for a file
// with other hard links or in a folder that takes no new file, into the file
// itself after its old bytes were kept; a failure never leaves a half-written
// file. Throws std::runtime_error with the system's reason.
void ExportListViewToCsv(const ResultList& list, const std::string& fileName, CsvColumns columns = CsvColumns::Listed);

}  // namespace orvanta
