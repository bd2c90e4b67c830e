#include "actions/removal_record.h"

#include "actions/prompts.h"
#include "actions/saved_files.h"
#include "text/json.h"
#include "text/text_helpers.h"
#include "text/translate.h"

namespace orvanta {
namespace {

constexpr std::string_view kRecordFormat = "orvanta-removal-record";
constexpr std::int64_t kRecordVersion = 1;
constexpr std::size_t kStayedShown = 10;

std::string RecordFolder() {
  const std::string data = platform::UserDataFolder();
#ifdef _WIN32
  return data.empty() ? std::string() : platform::JoinedPath(data, "Orvanta");
#else
  return data.empty() ? std::string() : platform::JoinedPath(data, "orvanta");
#endif
}

std::string ReasonText(const platform::RestoreOutcome& outcome) {
  switch (outcome.result) {
    case platform::RestoreResult::Restored: return {};
    case platform::RestoreResult::NotInTrash: return TranslateText("The trash no longer holds it.");
    case platform::RestoreResult::Occupied: return TranslateText("Something now stands at its original path.");
    case platform::RestoreResult::NoFolder: return TranslateText("The folder it was in is gone.");
    case platform::RestoreResult::Failed: break;
  }
  return outcome.reason.empty() ? TranslateText("Unknown error") : outcome.reason;
}

}  // namespace

std::string RemovalRecordFile() {
  const std::string folder = RecordFolder();
  return folder.empty() ? std::string() : platform::JoinedPath(folder, "last-removal.json");
}

std::optional<std::vector<platform::TrashedItem>> ReadRemovalRecord(std::string& error) {
  std::vector<platform::TrashedItem> items;
  const std::string file = RemovalRecordFile();
  if (file.empty()) return items;
  std::string bytes;
  switch (ReadFileBytes(file, bytes, error, 256u << 20)) {
    case ReadBytes::Missing: return items;
    case ReadBytes::Failed: return std::nullopt;
    case ReadBytes::Read: break;
  }
  std::size_t offset = 0;
  const std::optional<JsonValue> json = ParseJson(bytes, offset);
  const JsonValue* format = json ? json->Find("format") : nullptr;
  const JsonValue* version = json ? json->Find("version") : nullptr;
  const JsonValue* list = json ? json->Find("items") : nullptr;
  if (format == nullptr || format->text != kRecordFormat || version == nullptr || !version->isInteger ||
      version->integer != kRecordVersion || list == nullptr || !list->IsArray()) {
    error = TerminalSafePath(file, PathQuoting::Always);
    return std::nullopt;
  }
  for (const JsonValue& entry : list->items) {
    const JsonValue* path = entry.Find("path");
    const JsonValue* trash = entry.Find("trash");
    const JsonValue* name = entry.Find("name");
    const JsonValue* id = entry.Find("id");
    const std::optional<platform::FileId> fileId = id != nullptr ? ParseFileIdText(id->text) : std::nullopt;
    if (path == nullptr || !path->IsString() || path->text.empty() || trash == nullptr || !trash->IsString() ||
        name == nullptr || !name->IsString() || !fileId) {
      error = TerminalSafePath(file, PathQuoting::Always);
      return std::nullopt;
    }
    items.push_back({path->text, trash->text, name->text, *fileId});
  }
  return items;
}

bool WriteRemovalRecord(const std::vector<platform::TrashedItem>& items) {
  const std::string folder = RecordFolder();
  if (folder.empty() || !platform::MakeFolders(folder)) return false;
  std::string json = "{\n  \"format\": \"" + std::string(kRecordFormat) +
                     "\",\n  \"version\": " + std::to_string(kRecordVersion) + ",\n  \"items\": [";
  for (std::size_t i = 0; i < items.size(); ++i) {
    json += i == 0 ? "\n    {\"path\": " : ",\n    {\"path\": ";
    AppendJsonString(json, items[i].path);
    json += ", \"trash\": ";
    AppendJsonString(json, items[i].trashFolder);
    json += ", \"name\": ";
    AppendJsonString(json, items[i].trashName);
    json += ", \"id\": \"" + FileIdText(items[i].id) + "\"}";
  }
  json += items.empty() ? "]\n}\n" : "\n  ]\n}\n";
  try {
    platform::ReplaceFileContents(RemovalRecordFile(), json);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

TrashMover RecordingRemoval(TrashMover mover) {
  return [mover = std::move(mover)](const std::vector<platform::TrashItem>& items, const platform::TrashHooks& hooks) {
    std::vector<platform::TrashedItem> moved;
    platform::TrashHooks recording = hooks;
    recording.afterMove = [&](std::size_t i, const platform::TrashOutcome& outcome) {
      if (outcome.moved) moved.push_back({items[i].path, outcome.trashFolder, outcome.trashName, items[i].scannedId});
      if (hooks.afterMove) hooks.afterMove(i, outcome);
    };
    std::vector<platform::TrashOutcome> outcomes = mover(items, recording);
    // The record of an older removal must not stand for this one: where the
    // new record cannot be written, an empty one (nothing to undo) is tried.
    if (!moved.empty() && !WriteRemovalRecord(moved)) WriteRemovalRecord({});
    return outcomes;
  };
}

std::vector<UndoneItem> UndoLastRemoval(const std::vector<platform::TrashedItem>& items, const TrashRestorer& restore) {
  std::vector<UndoneItem> undone;
  std::vector<platform::TrashedItem> left;
  for (const platform::TrashedItem& item : items) {
    const platform::RestoreOutcome outcome = restore(item);
    undone.push_back({item.path, outcome.result == platform::RestoreResult::Restored, ReasonText(outcome)});
    if (outcome.result != platform::RestoreResult::Restored && outcome.result != platform::RestoreResult::NotInTrash) {
      left.push_back(item);
    }
  }
  WriteRemovalRecord(left);
  return undone;
}

std::string UndoQuestion(std::size_t items) {
  return FormatText(TranslateText("Put back the %d items the last removal moved to the trash?"),
                    {static_cast<std::int64_t>(items)});
}

std::string UndoOutcomeText(const std::vector<UndoneItem>& undone) {
  std::size_t restored = 0;
  for (const UndoneItem& item : undone) restored += item.restored ? 1 : 0;
  std::string text =
      FormatText(TranslateText("Put back: %d. Stayed: %d."),
                 {static_cast<std::int64_t>(restored), static_cast<std::int64_t>(undone.size() - restored)});
  std::size_t shown = 0;
  for (const UndoneItem& item : undone) {
    if (item.restored) continue;
    if (shown++ == kStayedShown) {
      text += "\n" + FormatText(TranslateText("and %d more"),
                                {static_cast<std::int64_t>(undone.size() - restored - kStayedShown)});
      break;
    }
    text += "\n\n" + TerminalSafePath(item.path) + "\n" + item.reason;
  }
  return text;
}

void UndoRemoval(Prompts& prompts, const TrashRestorer& restore) {
  std::string error;
  const std::optional<std::vector<platform::TrashedItem>> items = ReadRemovalRecord(error);
  if (!items) {
    prompts.Message(FormatText(TranslateText("The record of the last removal cannot be read: %s"), {error}));
    return;
  }
  if (items->empty()) {
    prompts.Message(TranslateText("There is no removal to undo."));
    return;
  }
  if (!prompts.Confirm(UndoQuestion(items->size()), true)) return;
  prompts.Message(UndoOutcomeText(UndoLastRemoval(*items, restore)));
}

}  // namespace orvanta
