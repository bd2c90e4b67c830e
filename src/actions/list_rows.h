// The item a row stands for.
#pragma once

#include <string>
#include <string_view>

#include "core/result_list.h"

namespace orvanta {

// The full path of the file or folder in the row's record; empty for a row without one.
std::string RowPath(const ListRow& row);

// True when `path` lies below `folder` (not when they are the same path).
bool IsInsideFolder(std::string_view path, std::string_view folder);

}  // namespace orvanta
