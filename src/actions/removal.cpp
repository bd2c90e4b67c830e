#include "actions/removal.h"

#include <algorithm>
#include <optional>
#include <unordered_map>
#include <unordered_set>

#include "actions/content_compare.h"
#include "actions/keep_rules.h"
#include "actions/prompts.h"
#include "actions/relocation.h"
#include "actions/trash_note.h"
#include "core/file_record.h"
#include "core/result_list.h"
#include "text/text_helpers.h"
#include "text/translate.h"

namespace orvanta {
namespace {

constexpr std::size_t kNamesShown = 3;

// The item whose fate the plan's item `i` shares: the folder it lies in, or itself.
std::size_t CarrierOf(const RemovalPlan& plan, std::size_t i) {
  const std::ptrdiff_t container = plan.items[i].container;
  return container >= 0 ? static_cast<std::size_t>(container) : i;
}

// Per item of the plan, the items that lie inside it and so go or stay with it.
std::vector<std::vector<std::size_t>> CarriedItems(const RemovalPlan& plan) {
  std::vector<std::vector<std::size_t>> carried(plan.items.size());
  for (std::size_t i = 0; i < plan.items.size(); ++i) {
    if (CarrierOf(plan, i) != i) carried[CarrierOf(plan, i)].push_back(i);
  }
  return carried;
}

// Calls `visit` with every proper ancestor of the path, outermost first, then
// the path itself; stops early when `visit` returns true.
template <typename Visit>
bool AncestorsAndSelf(std::string_view path, Visit visit) {
  for (std::size_t i = 0; i + 1 < path.size(); ++i) {
    if (!platform::IsPathDelimiter(path[i])) continue;
    // A root keeps its delimiter: "/", "C:\".
    const std::size_t length = i == 0 || (i > 0 && path[i - 1] == ':') ? i + 1 : i;
    if (visit(path.substr(0, length))) return true;
  }
  return visit(path);
}

// Why the row's item is no longer what the scan saw; empty when it still is.
// `ownChange`, when set, is the change time a link of this run gave the file.
std::string ChangedSinceScan(const ResultList& list, const ListRow& row, std::int64_t ownChange = 0) {
  const std::string path = list.Roots().Resolve(RowPath(row));
  const ListKind kind = list.Kind();
  platform::FileAttributes now;
  if (!platform::QueryAttributes(path, now)) return TranslateText("It is no longer there.");
  const bool files = kind == ListKind::Files;
  std::optional<FileRecord> linked;
  if (ownChange != 0) linked.emplace(*row.data).changed = ownChange;
  const FileRecord& seen = linked ? *linked : *row.data;
  const bool same = now.kind == (files ? platform::EntryKind::File : platform::EntryKind::Folder) &&
                    (files ? seen.StillAsSeen(now) : seen.SameIdentityAndTimes(now));
  return same ? std::string() : TranslateText("It changed since the scan.");
}

std::string StoppedText() { return TranslateText("The removal was stopped."); }

bool Stopped(const RemovalProgress& progress) {
  return progress.stop != nullptr && progress.stop->load(std::memory_order_relaxed);
}

// What the comparison of an item with the kept copies of its group found.
struct Verdict {
  std::string reason;  // empty: it may go
  bool differs = false;
  bool stopped = false;
};

class RemovalCheck {
 public:
  RemovalCheck(const ResultList& list, const RemovalPlan& plan, const RemovalProgress& progress)
      : list_(list), kind_(list.Kind()), progress_(progress) {
    for (const RemovalPlan::Item& item : plan.items) moving_.insert(item.path);
    // The kept members are settled now: marks changed while the removal runs change nothing.
    for (std::size_t i = 0; i < list_.Rows().size(); ++i) {
      const ListRow& row = list_.Rows()[i];
      if (row.groupId < 0) continue;
      std::vector<std::size_t>& kept = kept_[row.groupId];
      if (!row.checked && !row.stale && !RowPath(row).empty() && !Moving(RowPath(row))) kept.push_back(i);
    }
  }

  // The checks of the whole request before anything moves: empty when the
  // item and a kept member of its group are still what the scan saw.
  std::string Unchanged(const RemovalPlan::Item& item) const {
    const ListRow& row = list_.Rows()[item.row];
    std::string reason = ItemUnchanged(item);
    if (!reason.empty() || row.groupId < 0) return reason;
    const std::vector<std::size_t>& kept = kept_.at(row.groupId);
    // No member stays: the question named the group and the user said Yes.
    if (kept.empty()) return {};
    for (const std::size_t keptRow : kept) {
      if (KeptChanged(keptRow).empty()) return {};
    }
    return TranslateText("Its kept copy changed since the scan.");
  }

  // The item alone: in no reference folder and still what the scan saw.
  std::string ItemUnchanged(const RemovalPlan::Item& item) const {
    const ListRow& row = list_.Rows()[item.row];
    if (InReference(row)) return TranslateText("It is in a reference folder, or holds one.");
    return ChangedSinceScan(list_, row);
  }

  // The item and the kept members checked again and compared byte for byte
  // (folders as trees); with `differenceAccepted` a kept member still as
  // scanned is enough. `equalKept` gets the kept member found equal byte for byte.
  Verdict Compare(const RemovalPlan::Item& item, bool differenceAccepted,
                  std::optional<std::size_t>* equalKept = nullptr) const {
    const ListRow& row = list_.Rows()[item.row];
    if (std::string reason = ChangedSinceScan(list_, row); !reason.empty()) return {reason};
    if (row.groupId < 0 || kept_.at(row.groupId).empty()) return {};
    const CompareProgress onBytes = [this](std::int64_t) {
      if (progress_.onBytes) progress_.onBytes();
      return !Stopped(progress_);
    };
    bool keptAsScanned = false;
    std::string unreadable, differing;
    for (const std::size_t keptRow : kept_.at(row.groupId)) {
      const ListRow& other = list_.Rows()[keptRow];
      if (!KeptChanged(keptRow).empty()) continue;
      keptAsScanned = true;
      if (differenceAccepted) return {};
      // Compared through the resolved roots, where a linked root's items really are.
      const std::string itemPath = list_.Roots().Resolve(item.path);
      const std::string otherPath = list_.Roots().Resolve(RowPath(other));
      const ContentComparison comparison = kind_ == ListKind::Files ? CompareFiles(itemPath, otherPath, onBytes)
                                                                    : CompareFolders(itemPath, otherPath, onBytes);
      switch (comparison.result) {
        case ContentComparison::Result::Same:
          // Both read as they were scanned once more: an edit made while they were compared vouches for nothing.
          if (std::string reason = ChangedSinceScan(list_, row); !reason.empty()) return {reason};
          if (KeptChanged(keptRow).empty()) {
            if (equalKept != nullptr) *equalKept = keptRow;
            return {};
          }
          break;
        case ContentComparison::Result::Stopped: return {StoppedText(), false, true};
        case ContentComparison::Result::Unreadable:
          if (unreadable.empty()) unreadable = comparison.reason;
          break;
        case ContentComparison::Result::Different:
          if (differing.empty()) differing = comparison.differing;
          break;
      }
    }
    if (!keptAsScanned) return {TranslateText("Its kept copy changed since the scan.")};
    if (!unreadable.empty()) return {unreadable};
    if (differing.empty()) return {TranslateText("It differs from the copy that is kept."), true};
    return {FormatText(TranslateText("It differs from the copy that is kept: %s."),
                       {TerminalSafePath(differing, PathQuoting::Always)}),
            true};
  }

  // The kept members of the item's group; empty when none stays.
  const std::vector<std::size_t>& KeptOf(const RemovalPlan::Item& item) const {
    static const std::vector<std::size_t> kNone;
    const int group = list_.Rows()[item.row].groupId;
    return group < 0 ? kNone : kept_.at(group);
  }

  // A hard link to a kept member moved its change time: that change is this run's own.
  void AcceptOwnLink(std::size_t keptRow, std::int64_t changed) {
    if (changed != 0) ownChange_[keptRow] = changed;
  }
  // The change time this run's links left on a kept member; 0 where none did.
  std::int64_t OwnChange(std::size_t keptRow) const {
    const auto own = ownChange_.find(keptRow);
    return own == ownChange_.end() ? 0 : own->second;
  }

 private:
  std::string KeptChanged(std::size_t keptRow) const {
    return ChangedSinceScan(list_, list_.Rows()[keptRow], OwnChange(keptRow));
  }

  bool Moving(std::string_view path) const {
    return AncestorsAndSelf(path, [this](std::string_view p) { return moving_.count(std::string(p)) != 0; });
  }

  const ResultList& list_;
  ListKind kind_;
  const RemovalProgress& progress_;
  std::unordered_set<std::string> moving_;
  // Members of each group that stay: unchecked and inside no checked item.
  std::unordered_map<int, std::vector<std::size_t>> kept_;
  std::unordered_map<std::size_t, std::int64_t> ownChange_;
};

std::string NamesWithMore(const std::vector<std::string>& names) {
  std::string text;
  for (std::size_t i = 0; i < names.size() && i < kNamesShown; ++i) {
    if (i != 0) text += "\n";
    text += TerminalSafePath(names[i]);
  }
  if (names.size() > kNamesShown) {
    text += "\n" + FormatText(TranslateText("and %d more"), {static_cast<std::int64_t>(names.size() - kNamesShown)});
  }
  return text;
}

// Each trash folder other than the home trash, with a few of the items that went there.
std::string OtherTrashText(const RemovalResult& result) {
  std::vector<std::pair<std::string, std::vector<std::string>>> byFolder;
  for (std::size_t i = 0; i < result.moved.size() && i < result.otherTrash.size(); ++i) {
    if (result.otherTrash[i].empty()) continue;
    auto it =
        std::find_if(byFolder.begin(), byFolder.end(), [&](const auto& f) { return f.first == result.otherTrash[i]; });
    if (it == byFolder.end()) it = byFolder.insert(byFolder.end(), {result.otherTrash[i], {}});
    it->second.push_back(result.moved[i]);
  }
  std::string text;
  for (const auto& [folder, paths] : byFolder) {
    text += "\n\n" + OtherTrashHeading(TerminalSafePath(folder, PathQuoting::Always)) + "\n" + NamesWithMore(paths);
  }
  return text;
}

}  // namespace

std::string StayedReasonsText(const std::vector<StayedItem>& stayed) {
  std::vector<std::pair<std::string, std::vector<std::string>>> byReason;
  for (const StayedItem& item : stayed) {
    auto it = std::find_if(byReason.begin(), byReason.end(), [&item](const auto& r) { return r.first == item.reason; });
    if (it == byReason.end()) it = byReason.insert(byReason.end(), {item.reason, {}});
    it->second.push_back(item.path);
  }
  std::string text;
  for (const auto& [reason, paths] : byReason) text += "\n\n" + reason + "\n" + NamesWithMore(paths);
  return text;
}

RemovalPlan PlanRemoval(const ResultList& list) {
  RemovalPlan plan;
  std::unordered_map<std::string, std::size_t> firstItemOf;
  for (std::size_t i = 0; i < list.Rows().size(); ++i) {
    const ListRow& row = list.Rows()[i];
    const std::string path = RowPath(row);
    if (!row.checked || path.empty()) continue;
    firstItemOf.try_emplace(std::string(path), plan.items.size());
    plan.items.push_back({i, std::string(path), -1});
  }
  for (std::size_t i = 0; i < plan.items.size(); ++i) {
    RemovalPlan::Item& item = plan.items[i];
    AncestorsAndSelf(item.path, [&](std::string_view p) {
      const auto it = firstItemOf.find(std::string(p));
      if (it == firstItemOf.end() || it->second == i) return false;
      item.container = static_cast<std::ptrdiff_t>(it->second);
      return true;
    });
  }
  // The outermost carrier: a repeat of a nested item goes with what carries the first.
  for (RemovalPlan::Item& item : plan.items) {
    while (item.container >= 0 && plan.items[static_cast<std::size_t>(item.container)].container >= 0) {
      item.container = plan.items[static_cast<std::size_t>(item.container)].container;
    }
  }

  std::unordered_set<std::string> moving;
  for (const RemovalPlan::Item& item : plan.items) moving.insert(item.path);
  std::vector<int> touched;
  std::unordered_set<int> keeping;
  for (const ListRow& row : list.Rows()) {
    const std::string path = RowPath(row);
    if (row.groupId < 0 || path.empty()) continue;
    const bool goes =
        row.checked || AncestorsAndSelf(path, [&](std::string_view p) { return moving.count(std::string(p)) != 0; });
    if (!goes) {
      // A stale row keeps no copy of its group.
      if (!row.stale) keeping.insert(row.groupId);
    } else if (std::find(touched.begin(), touched.end(), row.groupId) == touched.end()) {
      touched.push_back(row.groupId);
    }
  }
  for (const int group : touched) {
    if (keeping.count(group) == 0) plan.groupsLosingEveryCopy.push_back(group);
  }
  return plan;
}

bool FindDifferingItems(const ResultList& list, RemovalPlan& plan, const RemovalProgress& progress) {
  plan.differing.clear();
  const RemovalCheck check(list, plan, progress);
  for (std::size_t i = 0; i < plan.items.size(); ++i) {
    if (plan.items[i].container >= 0) continue;
    if (progress.onItem) progress.onItem(RemovalStage::Comparing, i, plan.items.size());
    if (Stopped(progress)) return false;
    const Verdict verdict = check.Compare(plan.items[i], false);
    if (verdict.stopped) return false;
    if (verdict.differs) plan.differing.push_back(i);
  }
  return true;
}

namespace {

// Checked rows the window's search hides still go: the question says how many.
std::string HiddenCheckedNote(const ResultList& list) {
  if (list.Search().empty()) return {};
  const std::vector<bool> shown = list.RowsShown();
  std::int64_t hidden = 0;
  for (std::size_t i = 0; i < shown.size(); ++i) hidden += list.Rows()[i].checked && !shown[i] ? 1 : 0;
  if (hidden == 0) return {};
  return hidden == 1 ? TranslateText("1 of them is hidden by the search.")
                     : FormatText(TranslateText("%d of them are hidden by the search."), {hidden});
}

}  // namespace

std::string RemovalQuestion(const ResultList& list, const RemovalPlan& plan) {
  const bool files = list.Kind() == ListKind::Files, one = plan.items.size() == 1;
#ifdef _WIN32
  const std::string question =
      files ? (one ? TranslateText("Move 1 file to Recycle Bin?") : TranslateText("Move %d files to Recycle Bin?"))
            : (one ? TranslateText("Move 1 directory to Recycle Bin?")
                   : TranslateText("Move %d directories to Recycle Bin?"));
#else
  const std::string question =
      files ? (one ? TranslateText("Move 1 file to the Trash?") : TranslateText("Move %d files to the Trash?"))
            : (one ? TranslateText("Move 1 directory to the Trash?")
                   : TranslateText("Move %d directories to the Trash?"));
#endif
  std::string text = FormatText(question, {static_cast<std::int64_t>(plan.items.size())});
  if (const std::string note = OthersCopiesNote(list); !note.empty()) text += "\n\n" + note;
  if (!plan.groupsLosingEveryCopy.empty()) {
    std::vector<std::string> groups;
    for (const int group : plan.groupsLosingEveryCopy) {
      const auto it = std::find_if(list.Groups().begin(), list.Groups().end(),
                                   [group](const ListGroup& g) { return g.groupId == group; });
      groups.push_back(it != list.Groups().end() ? it->header : std::to_string(group));
    }
    text += "\n\n" + TranslateText("No copy would remain of these groups:") + "\n" + NamesWithMore(groups);
  }
  if (!plan.differing.empty()) {
    std::vector<std::string> paths;
    for (const std::size_t i : plan.differing) paths.push_back(plan.items[i].path);
    text += "\n\n" +
            FormatText(paths.size() == 1 ? TranslateText("1 of them differs from the copy that is kept:")
                                         : TranslateText("%d of them differ from the copy that is kept:"),
                       {static_cast<std::int64_t>(paths.size())}) +
            "\n" + NamesWithMore(paths);
  }
  if (const std::string note = HiddenCheckedNote(list); !note.empty()) text += "\n\n" + note;
  return text;
}

std::string MoveDifferingQuestion(const RemovalPlan& plan) {
  return FormatText(plan.differing.size() == 1
                        ? TranslateText("Move the 1 that differs from the copy that is kept as well?")
                        : TranslateText("Move the %d that differ from the copy that is kept as well?"),
                    {static_cast<std::int64_t>(plan.differing.size())});
}

std::string RemovalProgressText(RemovalStage stage, std::size_t item, std::size_t items) {
  const std::string text = stage == RemovalStage::Comparing ? TranslateText("Comparing with the kept copies... %d / %d")
                           : stage == RemovalStage::Linking ? TranslateText("Replacing with links... %d / %d")
                           : stage == RemovalStage::MovingToFolder ? TranslateText("Moving to the folder... %d / %d")
                           : stage == RemovalStage::CopyingToFolder
                               ? TranslateText("Copying to the folder... %d / %d")
#ifdef _WIN32
                               : TranslateText("Moving to the Recycle Bin... %d / %d");
#else
                               : TranslateText("Moving to the Trash... %d / %d");
#endif
  return FormatText(text, {static_cast<std::int64_t>(item + 1), static_cast<std::int64_t>(items)});
}

RemovalResult CarryOutRemoval(const ResultList& list, const RemovalPlan& plan, const TrashMover& mover,
                              const RemovalProgress& progress, bool moveDifferent) {
  RemovalResult result;
  const RemovalCheck check(list, plan, progress);
  std::vector<platform::TrashItem> request;
  std::vector<std::size_t> requested;
  std::vector<std::string> reasonOf(plan.items.size());
  std::vector<bool> keptOnPurpose(plan.items.size(), false);
  // Every item is checked before the first one moves; the bytes are compared right before each moves.
  for (std::size_t i = 0; i < plan.items.size(); ++i) {
    const RemovalPlan::Item& item = plan.items[i];
    if (item.container >= 0) continue;
    reasonOf[i] = check.Unchanged(item);
    if (!reasonOf[i].empty()) {
      keptOnPurpose[i] = true;
      continue;
    }
    request.push_back({list.Roots().Resolve(item.path), list.Rows()[item.row].data->id});
    requested.push_back(i);
  }
  const std::vector<std::vector<std::size_t>> carried = CarriedItems(plan);
  std::vector<bool> differenceAccepted(plan.items.size(), false);
  for (const std::size_t i : plan.differing) differenceAccepted[i] = moveDifferent;
  platform::TrashHooks hooks;
  hooks.beforeMove = [&](std::size_t k) {
    if (progress.onItem) progress.onItem(RemovalStage::Moving, k, request.size());
    std::string reason = Stopped(progress)
                             ? StoppedText()
                             : check.Compare(plan.items[requested[k]], differenceAccepted[requested[k]]).reason;
    keptOnPurpose[requested[k]] = !reason.empty();
    return reason;
  };
  // Items are told by the paths the lists show.
  hooks.afterMove = [&](std::size_t k, const platform::TrashOutcome& outcome) {
    if (!outcome.moved || !progress.onMoved) return;
    progress.onMoved(plan.items[requested[k]].path, outcome);
    for (const std::size_t inside : carried[requested[k]]) progress.onMoved(plan.items[inside].path, outcome);
  };
  const std::vector<platform::TrashOutcome> outcomes =
      request.empty() ? std::vector<platform::TrashOutcome>{} : mover(request, hooks);
  std::vector<bool> moved(plan.items.size(), false);
  std::vector<std::string> otherTrashOf(plan.items.size());
  for (std::size_t k = 0; k < requested.size(); ++k) {
    const bool ok = k < outcomes.size() && outcomes[k].moved;
    moved[requested[k]] = ok;
    if (ok) otherTrashOf[requested[k]] = OtherTrashFolder(outcomes[k]);
    if (!ok) reasonOf[requested[k]] = k < outcomes.size() ? outcomes[k].reason : TranslateText("Unknown error");
  }
  for (std::size_t i = 0; i < plan.items.size(); ++i) {
    const RemovalPlan::Item& item = plan.items[i];
    const std::size_t carrier = CarrierOf(plan, i);
    if (moved[carrier]) {
      result.moved.push_back(item.path);
      result.otherTrash.push_back(otherTrashOf[carrier]);
    } else {
      result.stayed.push_back(
          {item.path, item.container >= 0 ? TranslateText("It lies inside a folder that stayed.") : reasonOf[i],
           keptOnPurpose[carrier]});
    }
  }
  return result;
}

void RemoveRowsOfMovedItems(ResultList& list, const std::vector<std::string>& moved) {
  if (moved.empty()) return;
  const std::unordered_set<std::string> gone(moved.begin(), moved.end());
  const ListUpdateGuard batch(list);
  list.RemoveRowsWhere([&gone](const ListRow& row) {
    const std::string path = RowPath(row);
    return !path.empty() &&
           AncestorsAndSelf(path, [&gone](std::string_view p) { return gone.count(std::string(p)) != 0; });
  });
  // A folder that held a moved item is no longer what was compared.
  std::unordered_set<std::string> holders;
  for (const std::string& path : moved) {
    AncestorsAndSelf(path, [&holders, &path](std::string_view p) {
      if (p.size() < path.size()) holders.emplace(p);
      return false;
    });
  }
  for (std::size_t i = 0; i < list.Rows().size(); ++i) {
    if (holders.count(RowPath(list.Rows()[i])) != 0) list.MarkStale(i);
  }
}

std::string RemovalOutcomeText(ListKind kind, const RemovalResult& result) {
  const bool files = kind == ListKind::Files;
  if (result.stayed.empty()) {
#ifdef _WIN32
    return (files ? TranslateText("Files were moved to the Recycle Bin.")
                  : TranslateText("Directories were moved to the Recycle Bin.")) +
           OtherTrashText(result);
#else
    return (files ? TranslateText("Files were moved to the Trash.")
                  : TranslateText("Directories were moved to the Trash.")) +
           OtherTrashText(result);
#endif
  }
  // What stayed on purpose was kept, not lost to a failure.
  const bool allKept =
      std::all_of(result.stayed.begin(), result.stayed.end(), [](const StayedItem& item) { return item.kept; });
  std::string text =
      (allKept ? (files ? TranslateText("Some files were kept in place.")
                        : TranslateText("Some directories were kept in place."))
               : (files ? TranslateText("Failed to delete some files.")
                        : TranslateText("Failed to delete some directories."))) +
      "\n\n" +
      FormatText(TranslateText("Moved: %d. Stayed: %d."),
                 {static_cast<std::int64_t>(result.moved.size()), static_cast<std::int64_t>(result.stayed.size())});
  return text + StayedReasonsText(result.stayed) + OtherTrashText(result);
}

void DeleteChecked(ResultList& files, ResultList& folders, ListKind active, Prompts& prompts, const TrashMover& mover,
                   const RemovalProgress& progress) {
  ResultList& list = active == ListKind::Files ? files : folders;
  RemovalPlan plan = PlanRemoval(list);
  if (plan.items.empty()) {
    prompts.Message(active == ListKind::Files ? TranslateText("No files selected.")
                                              : TranslateText("No directories selected."));
    return;
  }
  const auto working = [&progress](bool on) {
    if (progress.onWorking) progress.onWorking(on);
  };
  if (!list.GroupedByContent()) {
    working(true);
    const bool compared = FindDifferingItems(list, plan, progress);
    working(false);
    // Stopped before the question: nothing was asked, nothing moves.
    if (!compared) return;
  }
  if (!prompts.Confirm(RemovalQuestion(list, plan), plan.groupsLosingEveryCopy.empty())) return;
  const bool moveDifferent = !plan.differing.empty() && prompts.Confirm(MoveDifferingQuestion(plan), false);
  working(true);
  const RemovalResult result = CarryOutRemoval(list, plan, mover, progress, moveDifferent);
  working(false);
  RemoveRowsOfMovedItems(files, result.moved);
  RemoveRowsOfMovedItems(folders, result.moved);
  prompts.Message(RemovalOutcomeText(active, result));
}

namespace {

// An item as the scan saw it, for the system's last checks before it changes.
platform::FileAttributes SeenAttributes(const FileRecord& record, ListKind kind = ListKind::Files) {
  platform::FileAttributes seen;
  seen.kind = kind == ListKind::Files ? platform::EntryKind::File : platform::EntryKind::Folder;
  seen.size = record.size;
  seen.id = record.id;
  seen.modified = record.modified;
  seen.changed = record.changed;
  seen.owner = record.owner;
  return seen;
}

}  // namespace

LinkResult CarryOutLinking(const ResultList& list, const RemovalPlan& plan, const Linker& linker,
                           const RemovalProgress& progress,
                           const std::function<void(const std::string& path, bool cloned)>& onLinked) {
  LinkResult result;
  RemovalCheck check(list, plan, progress);
  std::vector<std::string> reasonOf(plan.items.size());
  std::vector<std::size_t> requested;
  for (std::size_t i = 0; i < plan.items.size(); ++i) {
    const RemovalPlan::Item& item = plan.items[i];
    if (item.container >= 0) continue;
    reasonOf[i] = list.Kind() != ListKind::Files ? TranslateText("Only files are replaced with links.")
                  : check.KeptOf(item).empty()   ? TranslateText("No copy of its group is kept to link to.")
                                                 : check.Unchanged(item);
    if (reasonOf[i].empty()) requested.push_back(i);
  }
  std::vector<bool> linked(plan.items.size(), false), cloned(plan.items.size(), false);
  for (std::size_t k = 0; k < requested.size(); ++k) {
    const std::size_t i = requested[k];
    if (progress.onItem) progress.onItem(RemovalStage::Linking, k, requested.size());
    if (Stopped(progress)) {
      reasonOf[i] = StoppedText();
      continue;
    }
    // Linking never accepts a difference: the copy's own bytes would be gone.
    std::optional<std::size_t> keptRow;
    const Verdict verdict = check.Compare(plan.items[i], false, &keptRow);
    if (!verdict.reason.empty() || !keptRow) {
      reasonOf[i] = verdict.reason.empty() ? TranslateText("Its kept copy changed since the scan.") : verdict.reason;
      continue;
    }
    const ListRow& row = list.Rows()[plan.items[i].row];
    const ListRow& kept = list.Rows()[*keptRow];
    platform::FileAttributes keptSeen = SeenAttributes(*kept.data);
    if (const std::int64_t own = check.OwnChange(*keptRow); own != 0) keptSeen.changed = own;
    const platform::LinkOutcome outcome = linker({list.Roots().Resolve(plan.items[i].path), SeenAttributes(*row.data),
                                                  list.Roots().Resolve(RowPath(kept)), keptSeen});
    if (!outcome.replaced) {
      reasonOf[i] = outcome.reason.empty() ? TranslateText("Unknown error") : outcome.reason;
      continue;
    }
    check.AcceptOwnLink(*keptRow, outcome.keptChanged);
    linked[i] = true;
    cloned[i] = outcome.cloned;
    if (onLinked) onLinked(plan.items[i].path, outcome.cloned);
  }
  for (std::size_t i = 0; i < plan.items.size(); ++i) {
    const RemovalPlan::Item& item = plan.items[i];
    // A repeat of a row's path shares its carrier's fate.
    const std::size_t carrier = CarrierOf(plan, i);
    if (linked[carrier]) {
      result.replaced.push_back(item.path);
      result.cloned.push_back(cloned[carrier]);
    } else {
      result.stayed.push_back({item.path, reasonOf[carrier]});
    }
  }
  return result;
}

std::string LinkOutcomeText(const LinkResult& result) {
  if (result.stayed.empty()) return TranslateText("Files were replaced with links to the kept copy.");
  return TranslateText("Some files were not replaced with links.") + "\n\n" +
         FormatText(TranslateText("Replaced: %d. Stayed: %d."), {static_cast<std::int64_t>(result.replaced.size()),
                                                                 static_cast<std::int64_t>(result.stayed.size())}) +
         StayedReasonsText(result.stayed);
}

RelocationResult CarryOutRelocation(const ResultList& list, const RemovalPlan& plan, platform::RelocationKind kind,
                                    const std::string& destination, const Relocator& relocator,
                                    const RemovalProgress& progress,
                                    const std::function<void(const std::string& path)>& onDone) {
  RelocationResult result;
  const RemovalCheck check(list, plan, progress);
  const bool move = kind == platform::RelocationKind::Move;
  std::vector<std::string> reasonOf(plan.items.size());
  std::vector<std::size_t> requested;
  const std::vector<std::vector<std::size_t>> carried = CarriedItems(plan);
  // Every item is checked before the first one goes. A move leaves a copy of
  // each group in place; a copy touches nothing and needs no kept copy.
  for (std::size_t i = 0; i < plan.items.size(); ++i) {
    const RemovalPlan::Item& item = plan.items[i];
    if (item.container >= 0) continue;
    reasonOf[i] = !move                        ? check.ItemUnchanged(item)
                  : check.KeptOf(item).empty() ? TranslateText("No copy of its group stays in place.")
                                               : check.Unchanged(item);
    if (reasonOf[i].empty()) requested.push_back(i);
  }
  const CompareProgress onBytes = [&progress](std::int64_t) {
    if (progress.onBytes) progress.onBytes();
    return !Stopped(progress);
  };
  std::vector<bool> done(plan.items.size(), false);
  for (std::size_t k = 0; k < requested.size(); ++k) {
    const std::size_t i = requested[k];
    const RemovalPlan::Item& item = plan.items[i];
    if (progress.onItem) {
      progress.onItem(move ? RemovalStage::MovingToFolder : RemovalStage::CopyingToFolder, k, requested.size());
    }
    platform::RelocationHooks hooks;
    // Right before it goes: a move compares it byte for byte with a kept copy, as removal does.
    hooks.beforeMove = [&]() -> std::string {
      if (Stopped(progress)) return StoppedText();
      return move ? check.Compare(item, false).reason : check.ItemUnchanged(item);
    };
    hooks.verifyCopy = [&](const std::string& original, const std::string& copy) -> std::string {
      const ContentComparison comparison = CompareFiles(original, copy, onBytes);
      switch (comparison.result) {
        case ContentComparison::Result::Same: return {};
        case ContentComparison::Result::Stopped: return StoppedText();
        case ContentComparison::Result::Unreadable: return comparison.reason;
        case ContentComparison::Result::Different: break;
      }
      return TranslateText("Its copy in the destination folder differs from it.");
    };
    const platform::RelocationOutcome outcome =
        relocator({list.Roots().Resolve(item.path), SeenAttributes(*list.Rows()[item.row].data, list.Kind()),
                   destination, RelocationTarget(list.Roots(), item.path)},
                  hooks);
    if (!outcome.done) {
      reasonOf[i] = outcome.reason.empty() ? TranslateText("Unknown error") : outcome.reason;
      continue;
    }
    done[i] = true;
    if (!onDone) continue;
    onDone(item.path);
    for (const std::size_t inside : carried[i]) onDone(plan.items[inside].path);
  }
  for (std::size_t i = 0; i < plan.items.size(); ++i) {
    const RemovalPlan::Item& item = plan.items[i];
    const std::size_t carrier = CarrierOf(plan, i);
    if (done[carrier]) {
      result.done.push_back(item.path);
    } else {
      result.stayed.push_back(
          {item.path, item.container >= 0 ? TranslateText("It lies inside a folder that stayed.") : reasonOf[i]});
    }
  }
  return result;
}

}  // namespace orvanta
