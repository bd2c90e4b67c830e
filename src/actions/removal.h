// Moving the checked files or folders to the trash after the user's Yes,
// checked as a whole first, so that no copy goes without a copy that stays.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "actions/list_rows.h"
#include "platform/platform.h"

namespace orvanta {

class Prompts;
class ResultList;

// The checked rows of a list as one request, planned before the question.
struct RemovalPlan {
  struct Item {
    std::size_t row = 0;
    std::string path;
    // The checked item this one lies inside (or repeats), which carries it
    // along; -1 when it is moved on its own.
    std::ptrdiff_t container = -1;
  };
  std::vector<Item> items;  // every checked row with a path, top to bottom
  // Groups of which no member would stay: all checked or inside checked folders.
  std::vector<int> groupsLosingEveryCopy;
  // Items (indexes into `items`) whose bytes differ from every kept copy, as
  // FindDifferingItems found them before the question in a list grouped
  // without content; they move only with a second Yes.
  std::vector<std::size_t> differing;
};

// Linking: copies replaced with links to their kept copy, as removal checks
// them; MovingToFolder and CopyingToFolder: items moved or copied to a folder.
enum class RemovalStage { Comparing, Moving, Linking, MovingToFolder, CopyingToFolder };

// How a removal reports while it runs and learns of Stop: the window binds
// its progress bar, message pump and Stop button, the command line its
// progress line and Ctrl-C.
struct RemovalProgress {
  // Once set, the item in hand ends (a comparison under way stops) and every
  // item not yet moved stays, with that reason.
  const std::atomic<bool>* stop = nullptr;
  // True as the comparisons before the question, or the removal, begin; false as they end.
  std::function<void(bool working)> onWorking;
  // Before each item is compared or moved: its number from 0 and the number of items.
  std::function<void(RemovalStage stage, std::size_t item, std::size_t items)> onItem;
  // After each piece of bytes compared, so that a window stays responsive.
  std::function<void()> onBytes;
  // As each item moves (POSIX: right after its rename; Windows: after the one
  // request), then each checked item that went inside it, with the trash's outcome.
  std::function<void(const std::string& path, const platform::TrashOutcome& outcome)> onMoved;
};

struct StayedItem {
  std::string path;
  std::string reason;
  // Left in place on purpose (changed since the scan, unlike the kept copy,
  // Stop), not a move that failed.
  bool kept = false;
};

struct RemovalResult {
  std::vector<std::string> moved;  // also the items that went inside a moved folder
  std::vector<StayedItem> stayed;
  // For each of `moved`: the trash folder it went to when that is not the
  // trash the person looks in (OtherTrashFolder), else empty.
  std::vector<std::string> otherTrash;
};

// Moves the items in one request, one outcome per item, asking the hooks
// around each as platform::MoveToTrash does: the system's trash in the
// program, a fake in tests, a mover that only asks for a dry run.
using TrashMover = std::function<std::vector<platform::TrashOutcome>(const std::vector<platform::TrashItem>& items,
                                                                     const platform::TrashHooks& hooks)>;

RemovalPlan PlanRemoval(const ResultList& list);

// For a list grouped without content (names, sizes): compares each item with
// the kept copies of its group and records in plan.differing those whose
// bytes differ from every one. False when Stop came first.
bool FindDifferingItems(const ResultList& list, RemovalPlan& plan, const RemovalProgress& progress = {});

// The question: "Move %d files to Recycle Bin?" (or directories) with the
// number of checked rows; when a group would lose every copy, those groups;
// when items differ from their kept copies, their number and a few of them.
std::string RemovalQuestion(const ResultList& list, const RemovalPlan& plan);
// The second question, whose Yes moves the differing items too.
std::string MoveDifferingQuestion(const RemovalPlan& plan);

// The status of a removal under way.
std::string RemovalProgressText(RemovalStage stage, std::size_t item, std::size_t items);

// Checks every item before anything moves, then moves those that pass in one
// request. An item stays when it is no longer what the scan saw (identity,
// size, write and change time) or when no kept member of its group still is.
// Right before each item moves, both are checked again and their bytes (for
// folders, their trees) compared, whatever digests the scan had: an item
// stays when it differs from every kept member, unless it is one of
// plan.differing and `moveDifferent` is set. What the scan saw of each item
// comes from the row's record.
RemovalResult CarryOutRemoval(const ResultList& list, const RemovalPlan& plan, const TrashMover& mover,
                              const RemovalProgress& progress = {}, bool moveDifferent = false);

// Takes out the rows whose item moved or lies inside a moved folder, and
// marks stale the rows of folders that held a moved item.
void RemoveRowsOfMovedItems(ResultList& list, const std::vector<std::string>& moved);

// The success text when everything moved; otherwise the failure text, the
// counts, and each reason with a few of the items that stayed for it; then
// each trash folder other than the home trash with a few of the items that
// went there.
std::string RemovalOutcomeText(ListKind kind, const RemovalResult& result);

// The Delete checked command on the active list: nothing checked, the
// comparisons of a list grouped without content, the question (and the
// second one for items that differ, No by default), the checks, the move,
// the rows of both lists, the outcome.
void DeleteChecked(ResultList& files, ResultList& folders, ListKind active, Prompts& prompts,
                   const TrashMover& mover = platform::MoveToTrash, const RemovalProgress& progress = {});

// Replacing checked copies with links to their kept copy goes through the
// plan and the checks of removal: the whole request checked first, each copy
// and its kept copy compared byte for byte right before it is replaced.

// Makes one link as platform::ReplaceWithLink does: the system's in the
// program, a fake or a crash hook in tests, nothing at all in a dry run.
using Linker = std::function<platform::LinkOutcome(const platform::LinkItem& item)>;

struct LinkResult {
  std::vector<std::string> replaced;
  std::vector<bool> cloned;  // for each of `replaced`: a copy-on-write clone, else a hard link
  std::vector<StayedItem> stayed;
};

// Checks every item before anything changes (as CarryOutRemoval), then
// compares each with the kept members of its group, right before its
// replacement, and links it to the one found equal; an item whose bytes
// differ from every kept member, or whose group keeps none, stays. Never a
// folder: only the file clone list is linked. `onLinked` hears each
// replacement as it is made.
LinkResult CarryOutLinking(const ResultList& list, const RemovalPlan& plan, const Linker& linker,
                           const RemovalProgress& progress = {},
                           const std::function<void(const std::string& path, bool cloned)>& onLinked = {});

// Each reason once, in the order first met, with a few of the items that stayed for it.
std::string StayedReasonsText(const std::vector<StayedItem>& stayed);

// "Files were replaced with links to the kept copy." when every one was;
// otherwise the counts and each reason with a few of the items that stayed.
std::string LinkOutcomeText(const LinkResult& result);

// Moving or copying the checked items to a folder goes through the plan and
// the checks of removal too.

// Moves or copies one item as platform::RelocateItem does: the system's in
// the program, a fake or a fault in tests, one that only asks the hooks in a
// dry run.
using Relocator = std::function<platform::RelocationOutcome(const platform::RelocationItem& item,
                                                            const platform::RelocationHooks& hooks)>;

struct RelocationResult {
  std::vector<std::string> done;  // moved or copied, also the items inside a moved folder
  std::vector<StayedItem> stayed;
};

// Checks every item before anything goes, then moves or copies each to its
// place below `destination` (resolved), keeping its path below its root
// (RelocationTarget). A move is checked as removal checks it: the item and a
// kept member of its group still what the scan saw, compared byte for byte
// right before it goes; an item whose group would keep no copy in place
// stays. A copy needs only the item as scanned. Every copy the system makes
// is compared byte for byte with its original before it is kept. `onDone`
// hears each item as it goes, then each checked item inside it.
RelocationResult CarryOutRelocation(const ResultList& list, const RemovalPlan& plan, platform::RelocationKind kind,
                                    const std::string& destination, const Relocator& relocator,
                                    const RemovalProgress& progress = {},
                                    const std::function<void(const std::string& path)>& onDone = {});

}  // namespace orvanta
