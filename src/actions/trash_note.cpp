#include "actions/trash_note.h"

#include "text/translate.h"

namespace orvanta {

std::string OtherTrashFolder(const platform::TrashOutcome& outcome) {
  return outcome.moved && outcome.otherTrash ? outcome.trashFolder : std::string();
}

std::string OtherTrashNote(const platform::TrashOutcome& outcome,
                           const std::function<std::string(std::string_view)>& quote) {
  const std::string folder = OtherTrashFolder(outcome);
  if (folder.empty()) return {};
  return FormatText(TranslateText("(in the trash folder %s)"), {quote ? quote(folder) : folder});
}

std::string OtherTrashHeading(std::string_view folder) {
  return FormatText(TranslateText("Moved to the trash folder %s:"), {std::string(folder)});
}

}  // namespace orvanta
