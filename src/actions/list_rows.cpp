#include "actions/list_rows.h"

#include "core/file_record.h"
#include "core/result_list.h"
#include "platform/platform.h"

namespace orvanta {

std::string RowPath(const ListRow& row) { return row.data != nullptr ? row.data->FullPath() : std::string(); }

bool IsInsideFolder(std::string_view path, std::string_view folder) {
  if (folder.empty() || path.size() <= folder.size() || !platform::SamePath(path.substr(0, folder.size()), folder)) {
    return false;
  }
  // A root keeps its delimiter ("/", "C:\"); any other folder key has none at its end.
  return platform::IsPathDelimiter(folder.back()) || platform::IsPathDelimiter(path[folder.size()]);
}

}  // namespace orvanta
