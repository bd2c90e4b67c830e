// Where moved items went, when that is not the trash the person looks in: an
// item on another mount than the home trash goes to the trash at the top of
// that mount (a USB disk's .Trash-1000), and the report says so.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace orvanta {

// The trash folder a moved item went to when it is another than the home
// trash; empty for the home trash, the Recycle Bin and an item that stayed.
std::string OtherTrashFolder(const platform::TrashOutcome& outcome);

// "(in the trash folder %s)" after an item's line, the folder quoted by
// `quote` (the command line's TerminalSafePath); empty when OtherTrashFolder is.
std::string OtherTrashNote(const platform::TrashOutcome& outcome,
                           const std::function<std::string(std::string_view)>& quote);

// "Moved to the trash folder %s:" above the items that went there, for a
// report that lists them by trash folder; `folder` as the report shows paths.
std::string OtherTrashHeading(std::string_view folder);

}  // namespace orvanta
