// What "Open location" does for the selected row: a message, or a path for
// the file manager.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "actions/removal.h"

namespace orvanta {

class ResultList;

struct LocationRequest {
  enum class Kind { Message, ShowFile, OpenFolder };
  Kind kind;
  std::string text;  // the message, or the path to show or open
};

// The file browser's parameters that show the folder of `path` with the file
// selected: "/select," and the path in double quotes (Windows Explorer).
std::string ExplorerSelectParameters(const std::string& path);

// selectedRow: the engine row selected in the list, -1 for none. An item the
// shell cannot be handed by its name gives a message, never its path.
LocationRequest ResolveLocation(const ResultList& list, int selectedRow);

// Opens a file or folder; false with the reason in `error` when nothing could.
using ItemOpener = std::function<bool(const std::string& path, std::string& error)>;

// Double-click or Enter on a row: its file, or its folder, opened with the
// desktop's default program. The message to show, or nothing once it opened.
std::optional<std::string> OpenRowItem(const ResultList& list, int row, const ItemOpener& open);

}  // namespace orvanta
