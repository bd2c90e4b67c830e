// Moving or copying the checked items to a folder the person picks, each
// keeping its path below the scanned folder it was found in.
#pragma once

#include <string>
#include <string_view>

#include "actions/removal.h"
#include "platform/platform.h"

namespace orvanta {

class Prompts;
class ResultList;
class RootResolution;

// The item's place below the destination: the name of the root it lies
// under (the longest that holds it), then its path below that root, so
// "/home/me/Pictures/2020/a.jpg" scanned under "/home/me/Pictures/" goes to
// "Pictures/2020/a.jpg". A root without a name of its own ("/", "C:\") adds
// none. Empty for a path below no root.
std::string RelocationTarget(const RootResolution& roots, std::string_view path);

// The folder picked, resolved as the kernel resolves it, or why it is refused:
// it does not exist, or what goes there would land inside a scanned root
// (the next scan would find it again, and a folder could go into itself).
struct RelocationDestination {
  std::string resolved;
  std::string refusal;
};
RelocationDestination CheckRelocationDestination(const RootResolution& roots, const std::string& folder);

// "Move the checked items (%d) to %s?" (or copy), and where they go.
std::string RelocationQuestion(const RemovalPlan& plan, platform::RelocationKind kind, const std::string& destination);
// Everything went: which folder it went to; otherwise the counts and each
// reason with a few of the items that stayed.
std::string RelocationOutcomeText(platform::RelocationKind kind, const RelocationResult& result,
                                  const std::string& destination);

// The window's command on the active list: nothing checked, the destination
// refused, the question, the checks, the moves or copies, the rows of both
// lists (moved items leave them, as removed ones do), the outcome.
void RelocateChecked(ResultList& files, ResultList& folders, ListKind active, Prompts& prompts,
                     platform::RelocationKind kind, const std::string& destination, const Relocator& relocator,
                     const RemovalProgress& progress = {});

}  // namespace orvanta
