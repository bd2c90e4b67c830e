#include "actions/removal.h"

#include "actions/prompts.h"
#include "core/result_list.h"
#include "core/file_record.h"
#include "platform/platform.h"
#include "text/translate.h"

namespace orvanta {

std::vector<std::string> CheckedPaths(const ResultList& list, ListKind kind) {
  std::vector<std::string> paths;
  for (const ListRow& row : list.Rows()) {
    if (!row.checked) continue;
    if (kind == ListKind::Files) {
      if (row.data != nullptr) paths.push_back(row.data->fullPath);
    } else if (!row.subItems.empty()) {
      paths.push_back(row.subItems.front());
    }
  }
  return paths;
}

void RemoveCheckedRows(ResultList& list) {
  list.RemoveRowsWhere([](const ListRow& row) { return row.checked; });
}

bool MoveToRecycleBin(const std::vector<std::string>& paths) {
  if (paths.empty()) return false;
  bool allMoved = true;
  for (const std::string& path : paths) {
    std::string error;
    allMoved = platform::MoveToTrash(path, error) && allMoved;
  }
  return allMoved;
}

void DeleteChecked(ResultList& list, ListKind kind, Prompts& prompts, const TrashMover& moveToTrash) {
  const bool files = kind == ListKind::Files;
  const std::string nothingChecked =
      files ? TranslateText("No files selected.") : TranslateText("No directories selected.");
  const std::string question =
      files ? TranslateText("Move %d files to Recycle Bin?") : TranslateText("Move %d directories to Recycle Bin?");
  const std::string success = files ? TranslateText("Files were moved to the Recycle Bin.")
                                    : TranslateText("Directories were moved to the Recycle Bin.");
  const std::string failure =
      files ? TranslateText("Failed to delete some files.") : TranslateText("Failed to delete some directories.");

  const std::vector<std::string> paths = CheckedPaths(list, kind);
  if (paths.empty()) {
    prompts.Message(nothingChecked);
    return;
  }
  if (!prompts.Confirm(FormatText(question, {static_cast<std::int64_t>(paths.size())}))) return;
  if (moveToTrash(paths)) {
    RemoveCheckedRows(list);
    prompts.Message(success);
  } else {
    prompts.Message(failure);
  }
}

}  // namespace orvanta
