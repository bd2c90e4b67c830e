// A scan's results saved to a file and opened again: both lists with every
// member's record (path, size, identity, times) and check mark, the compare
// mode and the roots. What changed since it was saved is marked stale when
// it is opened, and no removal acts on it without a new scan.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/file_record.h"
#include "core/result_list.h"
#include "core/scan_settings.h"

namespace orvanta {

// The document: the command line's --json listing ("files" and "folders",
// each group with "group", "header" and "paths") plus "format":
// "orvanta-results", "version", "compare", "roots", each group's "size" and
// its "members", one per path: {"path", "size", "modified", "changed",
// "id", "owner", "shared", "checked"}. Paths are written as --json writes them.
std::string SavedResultsJson(const ResultList& files, const ResultList& folders, CompareMode compare);
// Writes it as the CSV export writes its file (replaced in one step).
// Throws std::runtime_error with the system's reason.
void SaveResults(const ResultList& files, const ResultList& folders, CompareMode compare, const std::string& fileName);

struct SavedMember {
  std::string path;
  std::int64_t size = -1;
  platform::FileId id;
  std::int64_t modified = 0, changed = 0;
  std::uint32_t owner = platform::kNoOwner;
  bool shared = false;
  bool checked = false;
};

struct SavedGroup {
  int groupId = 0;
  std::string header;
  std::int64_t size = 0;
  std::vector<SavedMember> members;
};

struct SavedResults {
  CompareMode compare = CompareMode::Content;
  std::vector<std::string> roots;  // as given, each ending in the delimiter
  std::vector<SavedGroup> files, folders;
};

// The document read back; nothing, with the reason in `error`, for a file
// that is no saved result of this program (malformed, cut short, foreign, of
// a later version).
std::optional<SavedResults> ParseSavedResults(std::string_view json, std::string& error);
// Reads and parses the file; the reason names the file when it fails.
std::optional<SavedResults> ReadSavedResults(const std::string& fileName, std::string& error);

// Fills the emptied registries and lists with the saved results and marks
// stale every row whose item is no longer as saved (gone, another identity,
// size, write or change time), as after a removal: unchecked and acted on by
// nothing until the next scan. Returns the number of stale rows.
std::size_t FillSavedResults(const SavedResults& saved, FileRegistry& files, FileRegistry& folders,
                             ResultList& fileClones, ResultList& folderClones, std::string_view decimalSeparator);

// "%d of the saved items changed since; they are greyed and nothing acts on them until the next scan."
std::string StaleItemsNote(std::size_t stale);

}  // namespace orvanta
