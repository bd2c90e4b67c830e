#include "actions/keep_rules.h"

#include <algorithm>
#include <cstdint>
#include <map>

#include "core/file_record.h"
#include "core/paths.h"
#include "core/result_list.h"
#include "platform/platform.h"
#include "text/translate.h"

namespace orvanta {
namespace {

bool SameOrInside(std::string_view path, std::string_view folder) {
  return platform::SamePath(path, folder) || IsInsideFolder(path, folder);
}

std::size_t Depth(std::string_view path) {
  return static_cast<std::size_t>(std::count_if(path.begin(), path.end(), platform::IsPathDelimiter));
}

// Characters, not bytes: a name in a non-Latin script is no longer for its encoding.
std::size_t PathLength(std::string_view path) {
  return static_cast<std::size_t>(
      std::count_if(path.begin(), path.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

// The last write time the scan saw; 0 when unknown.
std::int64_t Modified(const ListRow& row) { return row.data != nullptr ? row.data->modified : 0; }

class GroupDecider {
 public:
  GroupDecider(ResultList& list, const std::vector<KeepRule>& rules, KeepReport& report)
      : list_(list), kind_(list.Kind()), rules_(rules), report_(report) {
    report_.heldNone.assign(rules.size(), 0);
  }

  void Decide(const std::vector<std::size_t>& members) {
    ++report_.groups;
    std::vector<std::size_t> candidates;
    for (const std::size_t row : members) {
      // Files never hold one another: the rules alone decide.
      if (kind_ == ListKind::Files || !InsideAny(Path(row), checked_)) candidates.push_back(row);
    }
    // Every member lies in a checked folder: their contents go whatever is chosen here.
    if (candidates.empty()) candidates = members;

    // Another user's copy in a shared folder stays, but is never what the
    // group relies on; a group of nothing else keeps every copy.
    std::vector<std::size_t> own, others;
    for (const std::size_t row : candidates)
      (OthersCopyInSharedFolder(list_.Rows()[row]) ? others : own).push_back(row);
    // Copies in reference folders are never checked: they are the ones kept.
    std::vector<std::size_t> references;
    for (const std::size_t row : own) {
      if (InReference(list_.Rows()[row])) references.push_back(row);
    }
    std::vector<std::size_t> kept = !references.empty() ? references : own.empty() ? others : Narrow(own);
    if (own.empty()) {
      ++report_.keptWhole;
    } else {
      kept.insert(kept.end(), others.begin(), others.end());
    }
    if (kind_ == ListKind::Files) {
      Mark(members, kept);
      return;
    }
    // A kept folder keeps what lies inside it and what holds it.
    for (const std::size_t row : candidates) {
      const std::string path = Path(row);
      const bool holdsKept =
          std::any_of(kept_.begin(), kept_.end(), [path](std::string_view k) { return IsInsideFolder(k, path); });
      if ((holdsKept || InsideAny(path, kept_)) && std::find(kept.begin(), kept.end(), row) == kept.end()) {
        kept.push_back(row);
      }
    }
    Mark(members, kept);
    for (const std::size_t row : members) (list_.Rows()[row].checked ? checked_ : kept_).push_back(Path(row));
  }

 private:
  std::string Path(std::size_t row) const { return RowPath(list_.Rows()[row]); }

  void Mark(const std::vector<std::size_t>& members, const std::vector<std::size_t>& kept) {
    for (const std::size_t row : members) list_.SetChecked(row, std::find(kept.begin(), kept.end(), row) == kept.end());
  }

  static bool InsideAny(std::string_view path, const std::vector<std::string>& folders) {
    return std::any_of(folders.begin(), folders.end(), [path](std::string_view f) { return IsInsideFolder(path, f); });
  }

  // Members under the folder; on the folder list also those that hold it, as
  // removing them would take the folder's copies along.
  // Compared through the roots' resolved paths, as the rule's folder is resolved.
  bool Holds(std::size_t row, const std::string& folder) const {
    const std::string path = Path(row);
    if (path.empty()) return false;
    const std::string resolved = list_.Roots().Resolve(path);
    return SameOrInside(resolved, folder) || (kind_ == ListKind::Folders && IsInsideFolder(folder, resolved));
  }

  // The members the rules keep: all those of the first folder rule that holds
  // any, otherwise the first of the best by the order rules.
  std::vector<std::size_t> Narrow(std::vector<std::size_t> candidates) {
    for (std::size_t r = 0; r < rules_.size(); ++r) {
      const KeepRule& rule = rules_[r];
      if (rule.kind == KeepRule::Kind::InFolder) {
        std::vector<std::size_t> inside;
        for (const std::size_t row : candidates) {
          if (Holds(row, rule.folder)) inside.push_back(row);
        }
        if (!inside.empty()) return inside;
        ++report_.heldNone[r];
        continue;
      }
      candidates = Best(candidates, rule.kind);
    }
    // Ties go to a folder inside an already kept one, so nested groups keep one side.
    const auto insideKept = std::find_if(candidates.begin(), candidates.end(),
                                         [&](std::size_t row) { return InsideAny(Path(row), kept_); });
    return {insideKept != candidates.end() ? *insideKept : candidates.front()};
  }

  std::vector<std::size_t> Best(const std::vector<std::size_t>& candidates, KeepRule::Kind kind) const {
    // Lower is better; a time the scan could not read never wins.
    auto score = [&](std::size_t row) -> std::int64_t {
      const ListRow& r = list_.Rows()[row];
      switch (kind) {
        case KeepRule::Kind::Newest: return Modified(r) == 0 ? INT64_MAX : -Modified(r);
        case KeepRule::Kind::Oldest: return Modified(r) == 0 ? INT64_MAX : Modified(r);
        default: return static_cast<std::int64_t>(PathLength(Path(row)));
      }
    };
    std::int64_t best = INT64_MAX;
    for (const std::size_t row : candidates) best = std::min(best, score(row));
    std::vector<std::size_t> result;
    for (const std::size_t row : candidates) {
      if (score(row) == best) result.push_back(row);
    }
    return result;
  }

  ResultList& list_;
  ListKind kind_;
  const std::vector<KeepRule>& rules_;
  KeepReport& report_;
  std::vector<std::string> kept_, checked_;
};

// Folder keys end in a delimiter only at a root.
std::string FolderKey(std::string path) {
  if (!path.empty() && platform::IsPathDelimiter(path.back()) && path.size() > platform::DrivePartLength(path) + 1) {
    path.pop_back();
  }
  return path;
}

}  // namespace

KeepRule KeepInFolder(std::string_view folder) {
  std::string key = NormalizeFolderPath(folder);
  if (std::string real = platform::RealPath(key); !real.empty()) key = std::move(real);
  return {KeepRule::Kind::InFolder, FolderKey(std::move(key)), std::string(folder)};
}

KeepFolderFit FitOfKeepFolder(const KeepRule& rule, const RootResolution& roots) {
  if (rule.kind != KeepRule::Kind::InFolder) return KeepFolderFit::Fits;
  if (!platform::FolderExists(rule.folder)) return KeepFolderFit::NoFolder;
  for (const auto& [given, resolved] : roots.Roots()) {
    const std::string root = FolderKey(resolved);
    if (SameOrInside(rule.folder, root) || IsInsideFolder(root, rule.folder)) return KeepFolderFit::Fits;
  }
  return KeepFolderFit::NotScanned;
}

bool OthersCopyInSharedFolder(const ListRow& row) {
  static const std::optional<std::uint32_t> person = platform::CurrentUserId();
  const FileRecord* record = row.data;
  return person && record != nullptr && record->inSharedFolder && record->owner != platform::kNoOwner &&
         record->owner != *person;
}

std::optional<KeepRule> ParseKeepRule(std::string_view text) {
  if (text == "newest") return KeepRule{KeepRule::Kind::Newest, {}, {}};
  if (text == "oldest") return KeepRule{KeepRule::Kind::Oldest, {}, {}};
  if (text == "shortest") return KeepRule{KeepRule::Kind::ShortestPath, {}, {}};
  constexpr std::string_view kIn = "in=";
  if (text.substr(0, kIn.size()) == kIn && !NormalizeFolderPath(text.substr(kIn.size())).empty()) {
    return KeepInFolder(text.substr(kIn.size()));
  }
  return std::nullopt;
}

KeepReport CheckAllButKept(ResultList& list, const std::vector<KeepRule>& rules) {
  std::map<int, std::vector<std::size_t>> membersOf;
  for (std::size_t i = 0; i < list.Rows().size(); ++i) {
    // A stale row is no copy of its group any more: neither kept nor checked.
    if (list.Rows()[i].groupId >= 0 && !list.Rows()[i].stale) membersOf[list.Rows()[i].groupId].push_back(i);
  }
  // Outermost folders first, then list order: a group's kept folder is known
  // before the groups of its subfolders are decided.
  std::vector<std::pair<std::size_t, const std::vector<std::size_t>*>> groups;
  for (const auto& [group, rows] : membersOf) {
    std::size_t depth = 0;
    if (list.Kind() == ListKind::Folders) {
      depth = SIZE_MAX;
      for (const std::size_t row : rows) depth = std::min(depth, Depth(RowPath(list.Rows()[row])));
    }
    groups.emplace_back(depth, &rows);
  }
  std::stable_sort(groups.begin(), groups.end(), [](const auto& a, const auto& b) {
    return a.first != b.first ? a.first < b.first : a.second->front() < b.second->front();
  });
  KeepReport report;
  GroupDecider decider(list, rules, report);
  for (const auto& [depth, rows] : groups) decider.Decide(*rows);
  return report;
}

std::string KeptWholeNote(const KeepReport& report) {
  if (report.keptWhole == 0) return {};
  return FormatText(report.keptWhole == 1
                        ? TranslateText("1 group keeps every copy: each is owned by another user in a folder others "
                                        "can write to.")
                        : TranslateText("%d groups keep every copy: each is owned by another user in a folder others "
                                        "can write to."),
                    {static_cast<std::int64_t>(report.keptWhole)});
}

std::string OthersCopiesNote(const ResultList& list) {
  struct Seen {
    bool checked = false, othersKept = false, ownKept = false;
  };
  std::map<int, Seen> groups;
  for (const ListRow& row : list.Rows()) {
    if (row.groupId < 0 || row.stale) continue;  // a stale row is no copy any more
    Seen& seen = groups[row.groupId];
    if (row.checked) {
      seen.checked = true;
    } else {
      (OthersCopyInSharedFolder(row) ? seen.othersKept : seen.ownKept) = true;
    }
  }
  const auto count = std::count_if(groups.begin(), groups.end(), [](const auto& group) {
    return group.second.checked && group.second.othersKept && group.second.ownKept;
  });
  if (count == 0) return {};
  return FormatText(count == 1 ? TranslateText("In 1 group a copy of yours is kept, not one owned by another user in "
                                               "a folder others can write to, which stays unchecked.")
                               : TranslateText("In %d groups a copy of yours is kept, not one owned by another user "
                                               "in a folder others can write to, which stays unchecked."),
                    {static_cast<std::int64_t>(count)});
}

}  // namespace orvanta
