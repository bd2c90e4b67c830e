// The record of the last removal to the trash, and undoing it: every item it
// moved put back where it was, never over anything that stands there now.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "actions/removal.h"
#include "platform/platform.h"

namespace orvanta {

class Prompts;

// Where the record lives: "orvanta/last-removal.json" in the user's data
// folder (POSIX: $XDG_DATA_HOME, default ~/.local/share; Windows:
// %LOCALAPPDATA%). Empty when the system names no such folder.
std::string RemovalRecordFile();

// The items of the last removal that are still to be put back; empty when
// there is none. std::nullopt when a record exists but cannot be read (not
// this program's, damaged), with the reason in `error`.
std::optional<std::vector<platform::TrashedItem>> ReadRemovalRecord(std::string& error);
// Replaces the record in one step (written beside it, then renamed over it).
// An empty list leaves a record of nothing to undo. False when it cannot be written.
bool WriteRemovalRecord(const std::vector<platform::TrashedItem>& items);

// The removal's mover with the record written after it: every item it moved
// (the trash folder and name each got, its identity) replaces the last
// record. A request that moved nothing leaves the last record as it was.
TrashMover RecordingRemoval(TrashMover mover);

using TrashRestorer = std::function<platform::RestoreOutcome(const platform::TrashedItem& item)>;

struct UndoneItem {
  std::string path;
  bool restored = false;
  std::string reason;  // why it stayed in the trash, or why it is not there
};

// Puts back every item of the record, in order. What could not be put back
// for a reason that may pass (its place taken, its folder gone, an error)
// stays in the record for another try; what is back, or no longer in the
// trash, leaves it.
std::vector<UndoneItem> UndoLastRemoval(const std::vector<platform::TrashedItem>& items,
                                        const TrashRestorer& restore = platform::RestoreFromTrash);

// "Put back the %d items the last removal moved to the trash?"
std::string UndoQuestion(std::size_t items);
// "Put back: %d. Stayed: %d." then each item that stayed with its reason (a few).
std::string UndoOutcomeText(const std::vector<UndoneItem>& undone);

// The window's Undo removal: the record, the question, the undo, the outcome.
void UndoRemoval(Prompts& prompts, const TrashRestorer& restore = platform::RestoreFromTrash);

}  // namespace orvanta
