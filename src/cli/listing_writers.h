// The output formats of orvanta-cli: each writes the clone lists of a run to a
// stream. The run picks one writer for standard output; further steps (files
// written elsewhere, removal) work on the lists and never on a format.
#pragma once

#include <iosfwd>
#include <memory>
#include <string>

#include "actions/csv_export.h"

namespace orvanta {

class ResultList;

class ListingWriter {
 public:
  virtual ~ListingWriter() = default;
  // Called once for each list the run produced, the file clones first.
  virtual void WriteList(std::ostream& out, const ResultList& list) = 0;
  // Called once after the last list.
  virtual void Finish(std::ostream&) {}
};

// Each group as its header line and one path per line, groups apart by an empty line.
std::unique_ptr<ListingWriter> MakeTextWriter();
// Each list as CSV, as the window exports it.
std::unique_ptr<ListingWriter> MakeCsvWriter(CsvColumns columns = CsvColumns::Listed);
// Each path ended by a NUL byte and each group by one more, for xargs -0 and
// the like; one more NUL between the file list and the folder list.
std::unique_ptr<ListingWriter> MakeNullWriter();
// {"files": [group...], "folders": [group...]}, a group {"group": N, "header": "...",
// "size": bytes, "paths": [...], "members": [{"path": "...", "size": bytes,
// "modified": "2026-12-11T04:40:48Z"}, ...]}. Bytes that are not UTF-8 come out as \udcXX, so the exact
// name returns from Python's os.fsencode.
std::unique_ptr<ListingWriter> MakeJsonWriter();

}  // namespace orvanta
