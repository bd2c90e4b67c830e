// What "Open location" does for the selected row: a message, or a path for
// the file manager.
#pragma once

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

// selectedRow: the engine row selected in the list, -1 for none.
LocationRequest ResolveLocation(const ResultList& list, ListKind kind, int selectedRow);

}  // namespace orvanta
