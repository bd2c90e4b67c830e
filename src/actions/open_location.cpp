#include "actions/open_location.h"

#include "core/result_list.h"
#include "core/file_record.h"
#include "platform/platform.h"
#include "text/translate.h"

namespace orvanta {

std::string ExplorerSelectParameters(const std::string& path) { return "/select,\"" + path + "\""; }

LocationRequest ResolveLocation(const ResultList& list, ListKind kind, int selectedRow) {
  using Kind = LocationRequest::Kind;
  if (selectedRow < 0 || static_cast<std::size_t>(selectedRow) >= list.Rows().size()) {
    return {Kind::Message, TranslateText("Please select an item first.")};
  }
  const ListRow& row = list.Rows()[static_cast<std::size_t>(selectedRow)];
  if (kind == ListKind::Files) {
    if (row.data == nullptr) return {Kind::Message, TranslateText("No file path available for the selected item.")};
    const std::string path = row.data->FullPath();
    if (!platform::FileExists(path)) return {Kind::Message, TranslateText("File does not exist: ") + path};
    return {Kind::ShowFile, path};
  }
  const std::string path = row.subItems.empty() ? std::string() : row.subItems.front();
  if (path.empty() || !platform::FolderExists(path)) {
    return {Kind::Message, TranslateText("Directory does not exist: ") + path};
  }
  return {Kind::OpenFolder, path};
}

std::optional<std::string> OpenRowItem(const ResultList& list, ListKind kind, int row, const ItemOpener& open) {
  const LocationRequest request = ResolveLocation(list, kind, row);
  if (request.kind == LocationRequest::Kind::Message) return request.text;
  std::string error;
  if (open(request.text, error)) return std::nullopt;
  return FormatText(TranslateText("No program could open %s"), {request.text}) + "\n" + error;
}

}  // namespace orvanta
