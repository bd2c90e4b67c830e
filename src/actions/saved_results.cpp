#include "actions/saved_results.h"

#include "actions/list_rows.h"
#include "actions/saved_files.h"
#include "platform/platform.h"
#include "text/json.h"
#include "text/text_helpers.h"
#include "text/translate.h"

namespace orvanta {
namespace {

constexpr std::string_view kFormat = "orvanta-results";
constexpr std::int64_t kVersion = 1;

constexpr std::pair<CompareMode, std::string_view> kCompareNames[] = {{CompareMode::Name, "name"},
                                                                      {CompareMode::Size, "size"},
                                                                      {CompareMode::NameAndSize, "name-size"},
                                                                      {CompareMode::Content, "content"}};

std::string_view CompareName(CompareMode mode) {
  for (const auto& [m, name] : kCompareNames) {
    if (m == mode) return name;
  }
  return "content";
}

void AppendGroups(std::string& json, const ResultList& list) {
  const std::vector<ListRow>& rows = list.Rows();
  std::size_t row = 0;
  bool first = true;
  for (const ListGroup& group : list.Groups()) {
    std::vector<const ListRow*> members;
    for (; row < rows.size() && rows[row].groupId == group.groupId; ++row) {
      if (rows[row].data != nullptr) members.push_back(&rows[row]);
    }
    std::int64_t size = 0;
    for (const ListRow* member : members) size = AddSizes(size, std::max<std::int64_t>(member->data->size, 0));
    json += first ? "\n    {\"group\": " : ",\n    {\"group\": ";
    first = false;
    json += std::to_string(group.groupId) + ", \"header\": ";
    AppendJsonString(json, group.header);
    json += ", \"size\": " + std::to_string(size) + ", \"paths\": [";
    for (std::size_t i = 0; i < members.size(); ++i) {
      if (i > 0) json += ", ";
      AppendJsonString(json, RowPath(*members[i]));
    }
    json += "], \"members\": [";
    for (std::size_t i = 0; i < members.size(); ++i) {
      const FileRecord& record = *members[i]->data;
      json += i > 0 ? ",\n      {\"path\": " : "\n      {\"path\": ";
      AppendJsonString(json, RowPath(*members[i]));
      json += ", \"size\": " + std::to_string(record.size) + ", \"modified\": " + std::to_string(record.modified) +
              ", \"changed\": " + std::to_string(record.changed) + ", \"id\": \"" + FileIdText(record.id) +
              "\", \"owner\": " +
              (record.owner == platform::kNoOwner ? std::string("null") : std::to_string(record.owner)) +
              ", \"shared\": " + (record.inSharedFolder ? "true" : "false") +
              ", \"checked\": " + (members[i]->checked ? "true" : "false") + "}";
    }
    json += "]}";
  }
  if (!first) json += "\n  ";
}

// Members of a group as saved: each its path, a record of it and its mark.
bool ReadGroups(const JsonValue* list, std::vector<SavedGroup>& groups) {
  if (list == nullptr || !list->IsArray()) return false;
  for (const JsonValue& entry : list->items) {
    const JsonValue* group = entry.Find("group");
    const JsonValue* header = entry.Find("header");
    const JsonValue* size = entry.Find("size");
    const JsonValue* members = entry.Find("members");
    if (group == nullptr || !group->isInteger || group->integer < 0 || group->integer > INT32_MAX ||
        header == nullptr || !header->IsString() || size == nullptr || !size->isInteger || members == nullptr ||
        !members->IsArray()) {
      return false;
    }
    SavedGroup saved{static_cast<int>(group->integer), header->text, size->integer, {}};
    for (const JsonValue& member : members->items) {
      const JsonValue* path = member.Find("path");
      const JsonValue* memberSize = member.Find("size");
      const JsonValue* modified = member.Find("modified");
      const JsonValue* changed = member.Find("changed");
      const JsonValue* id = member.Find("id");
      const JsonValue* owner = member.Find("owner");
      const JsonValue* shared = member.Find("shared");
      const JsonValue* checked = member.Find("checked");
      const std::optional<platform::FileId> fileId =
          id != nullptr && id->IsString() ? ParseFileIdText(id->text) : std::nullopt;
      const bool ownerGood =
          owner != nullptr &&
          (owner->type == JsonValue::Type::Null ||
           (owner->isInteger && owner->integer >= 0 && owner->integer < static_cast<std::int64_t>(platform::kNoOwner)));
      if (path == nullptr || !path->IsString() || path->text.empty() || memberSize == nullptr ||
          !memberSize->isInteger || modified == nullptr || !modified->isInteger || changed == nullptr ||
          !changed->isInteger || !fileId || !ownerGood || shared == nullptr || shared->type != JsonValue::Type::Bool ||
          checked == nullptr || checked->type != JsonValue::Type::Bool) {
        return false;
      }
      saved.members.push_back({path->text, memberSize->integer, *fileId, modified->integer, changed->integer,
                               owner->isInteger ? static_cast<std::uint32_t>(owner->integer) : platform::kNoOwner,
                               shared->boolean, checked->boolean});
    }
    groups.push_back(std::move(saved));
  }
  return true;
}

void FillList(const std::vector<SavedGroup>& groups, FileRegistry& registry, ResultList& list,
              std::string_view decimalSeparator) {
  const ListUpdateGuard batch(list);
  for (const SavedGroup& group : groups) {
    // The saved header as it was: a format without placeholders gives it back.
    std::string header;
    for (const char c : group.header) header += c == '%' ? std::string("%%") : std::string(1, c);
    AddListGroup(list, group.groupId, group.size, decimalSeparator, header, group.members.size(),
                 [&](std::size_t i, ListRow& row) {
                   const SavedMember& member = group.members[i];
                   FileRecord& record = registry.Add(member.path, member.size, member.id, member.modified);
                   record.changed = member.changed;
                   record.owner = member.owner;
                   record.inSharedFolder = member.shared;
                   row.data = &record;
                   row.checked = member.checked;
                 });
  }
  list.SetGroupsFound(static_cast<int>(groups.size()));
}

// Marks stale each row whose item is no longer what was saved.
std::size_t MarkChanged(ResultList& list) {
  std::size_t stale = 0;
  const bool files = list.Kind() == ListKind::Files;
  for (std::size_t i = 0; i < list.Rows().size(); ++i) {
    const ListRow& row = list.Rows()[i];
    platform::FileAttributes now;
    const bool same = platform::QueryAttributes(list.Roots().Resolve(RowPath(row)), now) &&
                      now.kind == (files ? platform::EntryKind::File : platform::EntryKind::Folder) &&
                      (files ? row.data->StillAsSeen(now) : row.data->SameIdentityAndTimes(now));
    if (!same) {
      list.MarkStale(i);
      ++stale;
    }
  }
  return stale;
}

}  // namespace

std::string SavedResultsJson(const ResultList& files, const ResultList& folders, CompareMode compare) {
  std::string json = "{\n  \"format\": \"" + std::string(kFormat) + "\",\n  \"version\": " + std::to_string(kVersion) +
                     ",\n  \"compare\": \"" + std::string(CompareName(compare)) + "\",\n  \"roots\": [";
  const auto& roots = files.Roots().Roots();
  for (std::size_t i = 0; i < roots.size(); ++i) {
    if (i > 0) json += ", ";
    AppendJsonString(json, roots[i].first);
  }
  json += "],\n  \"files\": [";
  AppendGroups(json, files);
  json += "],\n  \"folders\": [";
  AppendGroups(json, folders);
  return json + "]\n}\n";
}

void SaveResults(const ResultList& files, const ResultList& folders, CompareMode compare, const std::string& fileName) {
  platform::ReplaceFileContents(fileName, SavedResultsJson(files, folders, compare));
}

std::optional<SavedResults> ParseSavedResults(std::string_view json, std::string& error) {
  std::size_t offset = 0;
  const std::optional<JsonValue> document = ParseJson(json, offset);
  if (!document) {
    error = FormatText(TranslateText("It is no JSON document (at byte %d)."), {static_cast<std::int64_t>(offset)});
    return std::nullopt;
  }
  const JsonValue* format = document->Find("format");
  const JsonValue* version = document->Find("version");
  if (format == nullptr || format->text != kFormat || version == nullptr || !version->isInteger) {
    error = TranslateText("It holds no saved results of Orvanta.");
    return std::nullopt;
  }
  if (version->integer != kVersion) {
    error = TranslateText("It was saved by another version of Orvanta.");
    return std::nullopt;
  }
  SavedResults saved;
  const JsonValue* compare = document->Find("compare");
  const JsonValue* roots = document->Find("roots");
  bool good = compare != nullptr && roots != nullptr && roots->IsArray();
  bool known = false;
  for (const auto& [mode, name] : kCompareNames) {
    if (good && compare->text == name) {
      saved.compare = mode;
      known = true;
    }
  }
  good = good && known;
  for (const JsonValue& root : good ? roots->items : std::vector<JsonValue>{}) {
    good = good && root.IsString() && !root.text.empty();
    saved.roots.push_back(root.text);
  }
  if (!good || !ReadGroups(document->Find("files"), saved.files) ||
      !ReadGroups(document->Find("folders"), saved.folders)) {
    error = TranslateText("Its contents are damaged.");
    return std::nullopt;
  }
  return saved;
}

std::optional<SavedResults> ReadSavedResults(const std::string& fileName, std::string& error) {
  std::string bytes, why;
  if (ReadFileBytes(fileName, bytes, why) != ReadBytes::Read) {
    error = TerminalSafePath(fileName, PathQuoting::Always) + ": " +
            (why.empty() ? TranslateText("It is no longer there.") : why);
    return std::nullopt;
  }
  std::optional<SavedResults> saved = ParseSavedResults(bytes, why);
  if (!saved) error = TerminalSafePath(fileName, PathQuoting::Always) + ": " + why;
  return saved;
}

std::size_t FillSavedResults(const SavedResults& saved, FileRegistry& files, FileRegistry& folders,
                             ResultList& fileClones, ResultList& folderClones, std::string_view decimalSeparator) {
  const RootResolution roots = RootResolution::Of(saved.roots);
  std::size_t stale = 0;
  for (auto [groups, registry, list] :
       {std::tuple{&saved.files, &files, &fileClones}, std::tuple{&saved.folders, &folders, &folderClones}}) {
    list->SetGroupedByContent(saved.compare == CompareMode::Content);
    list->SetRoots(roots);
    FillList(*groups, *registry, *list, decimalSeparator);
    stale += MarkChanged(*list);
  }
  return stale;
}

std::string StaleItemsNote(std::size_t stale) {
  return FormatText(
      TranslateText(
          "%d of the saved items changed since; they are greyed and nothing acts on them until the next scan."),
      {static_cast<std::int64_t>(stale)});
}

}  // namespace orvanta
