#include "actions/open_location.h"

#include "actions/list_rows.h"
#include "core/result_list.h"
#include "platform/platform.h"
#include "text/translate.h"

namespace orvanta {

std::string ExplorerSelectParameters(const std::string& path) { return "/select,\"" + path + "\""; }

LocationRequest ResolveLocation(const ResultList& list, int selectedRow) {
  using Kind = LocationRequest::Kind;
  if (selectedRow < 0 || static_cast<std::size_t>(selectedRow) >= list.Rows().size()) {
    return {Kind::Message, TranslateText("Please select an item first.")};
  }
  const ListRow& row = list.Rows()[static_cast<std::size_t>(selectedRow)];
  const std::string path = RowPath(row);
  if (list.Kind() == ListKind::Files) {
    if (path.empty()) return {Kind::Message, TranslateText("No file path available for the selected item.")};
    if (!platform::FileExists(path)) return {Kind::Message, TranslateText("File does not exist: ") + path};
  } else if (path.empty() || !platform::FolderExists(path)) {
    return {Kind::Message, TranslateText("Directory does not exist: ") + path};
  }
  // Never a different item than the row's: the shell would open "x\trail" for "x\trail.".
  if (!platform::ShellTakesPath(path)) {
    return {Kind::Message, FormatText(TranslateText("Windows cannot open this item by its name (a name ending in a dot "
                                                    "or blank, a device name such as CON, or a path too long): %s"),
                                      {path})};
  }
  return {list.Kind() == ListKind::Files ? Kind::ShowFile : Kind::OpenFolder, path};
}

std::optional<std::string> OpenRowItem(const ResultList& list, int row, const ItemOpener& open) {
  const LocationRequest request = ResolveLocation(list, row);
  if (request.kind == LocationRequest::Kind::Message) return request.text;
  std::string error;
  if (open(request.text, error)) return std::nullopt;
  return FormatText(TranslateText("No program could open %s"), {request.text}) + "\n" + error;
}

}  // namespace orvanta
