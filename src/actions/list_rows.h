// Which result list an action works on, and the item a row stands for.
#pragma once

#include <string>
#include <string_view>

namespace orvanta {

struct ListRow;

enum class ListKind { Files, Folders };

// A file row's record path, a folder row's "Directory" text; empty for a row without one.
std::string RowPath(const ListRow& row, ListKind kind);

// True when `path` lies below `folder` (not when they are the same path).
bool IsInsideFolder(std::string_view path, std::string_view folder);

}  // namespace orvanta
