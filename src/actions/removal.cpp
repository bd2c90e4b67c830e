#include "actions/removal.h"

#include <algorithm>
#include <unordered_map>
#include <unordered_set>

#include "actions/content_compare.h"
#include "actions/keep_rules.h"
#include "actions/prompts.h"
#include "core/file_record.h"
#include "core/result_list.h"
#include "text/translate.h"

namespace orvanta {
namespace {

constexpr std::size_t kNamesShown = 3;

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
std::string ChangedSinceScan(const ResultList& list, const ListRow& row) {
  const std::string path = list.Roots().Resolve(RowPath(row));
  const ListKind kind = list.Kind();
  platform::FileAttributes now;
  if (!platform::QueryAttributes(path, now)) return TranslateText("It is no longer there.");
  const bool files = kind == ListKind::Files;
  const FileRecord& seen = *row.data;
  // A folder's record holds the total of its files, not what the system gives as its size.
  const bool same = now.kind == (files ? platform::EntryKind::File : platform::EntryKind::Folder) &&
                    (seen.id == platform::FileId{} || now.id == seen.id) && now.modified == seen.modified &&
                    (seen.changed == 0 || now.changed == seen.changed) && (!files || now.size == seen.size);
  return same ? std::string() : TranslateText("It changed since the scan.");
}

class RemovalCheck {
 public:
  RemovalCheck(const ResultList& list, const RemovalPlan& plan) : list_(list), kind_(list.Kind()) {
    for (const RemovalPlan::Item& item : plan.items) moving_.insert(item.path);
  }

  // Empty when the item may go; otherwise why it stays.
  std::string Check(const RemovalPlan::Item& item) {
    const ListRow& row = list_.Rows()[item.row];
    std::string reason = ChangedSinceScan(list_, row);
    if (!reason.empty() || row.groupId < 0) return reason;
    const std::vector<std::size_t>& kept = KeptOf(row.groupId);
    // No member stays: the question named the group and the user said Yes.
    if (kept.empty()) return {};
    const std::vector<std::size_t>& verified = VerifiedKeptOf(row.groupId);
    if (verified.empty()) return TranslateText("Its kept copy changed since the scan.");
    std::string unreadable;
    for (const std::size_t keptRow : verified) {
      const ListRow& other = list_.Rows()[keptRow];
      if (kind_ == ListKind::Files && !row.data->contentHash.empty() &&
          row.data->contentHash == other.data->contentHash) {
        return {};
      }
      const std::string otherPath(RowPath(other));
      const ContentComparison comparison =
          kind_ == ListKind::Files ? CompareFiles(item.path, otherPath) : CompareFolders(item.path, otherPath);
      if (comparison.result == ContentComparison::Result::Same) return {};
      if (comparison.result == ContentComparison::Result::Unreadable) unreadable = comparison.reason;
    }
    return unreadable.empty() ? TranslateText("It differs from the copy that is kept.") : unreadable;
  }

 private:
  bool Moving(std::string_view path) const {
    return AncestorsAndSelf(path, [this](std::string_view p) { return moving_.count(std::string(p)) != 0; });
  }

  // Members of the group that stay: unchecked and inside no checked item.
  const std::vector<std::size_t>& KeptOf(int group) {
    auto [it, inserted] = kept_.try_emplace(group);
    if (inserted) {
      for (std::size_t i = 0; i < list_.Rows().size(); ++i) {
        const ListRow& row = list_.Rows()[i];
        if (row.groupId == group && !row.checked && !row.stale && !RowPath(row).empty() && !Moving(RowPath(row))) {
          it->second.push_back(i);
        }
      }
    }
    return it->second;
  }

  const std::vector<std::size_t>& VerifiedKeptOf(int group) {
    auto [it, inserted] = verified_.try_emplace(group);
    if (inserted) {
      for (const std::size_t row : KeptOf(group)) {
        if (ChangedSinceScan(list_, list_.Rows()[row]).empty()) it->second.push_back(row);
      }
    }
    return it->second;
  }

  const ResultList& list_;
  ListKind kind_;
  std::unordered_set<std::string> moving_;
  std::unordered_map<int, std::vector<std::size_t>> kept_, verified_;
};

std::string NamesWithMore(const std::vector<std::string>& names) {
  std::string text;
  for (std::size_t i = 0; i < names.size() && i < kNamesShown; ++i) {
    if (i != 0) text += "\n";
    text += names[i];
  }
  if (names.size() > kNamesShown) {
    text += "\n" + FormatText(TranslateText("and %d more"), {static_cast<std::int64_t>(names.size() - kNamesShown)});
  }
  return text;
}

}  // namespace

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

std::string RemovalQuestion(const ResultList& list, const RemovalPlan& plan) {
  const std::string question = list.Kind() == ListKind::Files ? TranslateText("Move %d files to Recycle Bin?")
                                                              : TranslateText("Move %d directories to Recycle Bin?");
  std::string text = FormatText(question, {static_cast<std::int64_t>(plan.items.size())});
  if (const std::string note = OthersCopiesNote(list); !note.empty()) text += "\n\n" + note;
  if (plan.groupsLosingEveryCopy.empty()) return text;
  std::vector<std::string> groups;
  for (const int group : plan.groupsLosingEveryCopy) {
    const auto it = std::find_if(list.Groups().begin(), list.Groups().end(),
                                 [group](const ListGroup& g) { return g.groupId == group; });
    groups.push_back(it != list.Groups().end() ? it->header : std::to_string(group));
  }
  return text + "\n\n" + TranslateText("No copy would remain of these groups:") + "\n" + NamesWithMore(groups);
}

RemovalResult CarryOutRemoval(const ResultList& list, const RemovalPlan& plan, const TrashMover& mover) {
  RemovalResult result;
  RemovalCheck check(list, plan);
  std::vector<platform::TrashItem> request;
  std::vector<std::size_t> requested;
  std::vector<std::string> reasonOf(plan.items.size());
  // Every item is checked before the first one moves.
  for (std::size_t i = 0; i < plan.items.size(); ++i) {
    const RemovalPlan::Item& item = plan.items[i];
    if (item.container >= 0) continue;
    reasonOf[i] = check.Check(item);
    if (!reasonOf[i].empty()) continue;
    request.push_back({list.Roots().Resolve(item.path), list.Rows()[item.row].data->id});
    requested.push_back(i);
  }
  const std::vector<platform::TrashOutcome> outcomes =
      request.empty() ? std::vector<platform::TrashOutcome>{} : mover(request, {});
  std::vector<bool> moved(plan.items.size(), false);
  for (std::size_t k = 0; k < requested.size(); ++k) {
    const bool ok = k < outcomes.size() && outcomes[k].moved;
    moved[requested[k]] = ok;
    if (!ok) reasonOf[requested[k]] = k < outcomes.size() ? outcomes[k].reason : TranslateText("Unknown error");
  }
  for (std::size_t i = 0; i < plan.items.size(); ++i) {
    const RemovalPlan::Item& item = plan.items[i];
    const bool went = item.container >= 0 ? moved[static_cast<std::size_t>(item.container)] : moved[i];
    if (went) {
      result.moved.push_back(item.path);
    } else {
      result.stayed.push_back(
          {item.path, item.container >= 0 ? TranslateText("It lies inside a folder that stayed.") : reasonOf[i]});
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
    return files ? TranslateText("Files were moved to the Recycle Bin.")
                 : TranslateText("Directories were moved to the Recycle Bin.");
  }
  std::string text =
      (files ? TranslateText("Failed to delete some files.") : TranslateText("Failed to delete some directories.")) +
      "\n\n" +
      FormatText(TranslateText("Moved: %d. Stayed: %d."),
                 {static_cast<std::int64_t>(result.moved.size()), static_cast<std::int64_t>(result.stayed.size())});
  // Each reason once, in the order first met, with the items that stayed for it.
  std::vector<std::pair<std::string, std::vector<std::string>>> byReason;
  for (const StayedItem& item : result.stayed) {
    auto it = std::find_if(byReason.begin(), byReason.end(), [&item](const auto& r) { return r.first == item.reason; });
    if (it == byReason.end()) it = byReason.insert(byReason.end(), {item.reason, {}});
    it->second.push_back(item.path);
  }
  for (const auto& [reason, paths] : byReason) text += "\n\n" + reason + "\n" + NamesWithMore(paths);
  return text;
}

void DeleteChecked(ResultList& files, ResultList& folders, ListKind active, Prompts& prompts, const TrashMover& mover) {
  ResultList& list = active == ListKind::Files ? files : folders;
  const RemovalPlan plan = PlanRemoval(list);
  if (plan.items.empty()) {
    prompts.Message(active == ListKind::Files ? TranslateText("No files selected.")
                                              : TranslateText("No directories selected."));
    return;
  }
  if (!prompts.Confirm(RemovalQuestion(list, plan), plan.groupsLosingEveryCopy.empty())) return;
  const RemovalResult result = CarryOutRemoval(list, plan, mover);
  RemoveRowsOfMovedItems(files, result.moved);
  RemoveRowsOfMovedItems(folders, result.moved);
  prompts.Message(RemovalOutcomeText(active, result));
}

}  // namespace orvanta
