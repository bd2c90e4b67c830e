#include "actions/relocation.h"

#include "actions/prompts.h"
#include "core/paths.h"
#include "core/result_list.h"
#include "text/text_helpers.h"
#include "text/translate.h"

namespace orvanta {
namespace {

// Whether the folder (ending in the delimiter) is the root or lies inside it.
bool AtOrInside(const std::string& folder, const std::string& root) {
  return folder.size() >= root.size() && platform::SamePath(std::string_view(folder).substr(0, root.size()), root);
}

// The name a root's items go under: its own name, none for a drive root.
std::string_view RootName(std::string_view root) {
  while (!root.empty() && platform::IsPathDelimiter(root.back())) root.remove_suffix(1);
  return ExtractFileName(root);
}

}  // namespace

std::string RelocationTarget(const RootResolution& roots, std::string_view path) {
  const std::string* found = nullptr;
  for (const auto& [given, resolved] : roots.Roots()) {
    if (path.size() > given.size() && platform::SamePath(path.substr(0, given.size()), given) &&
        (found == nullptr || given.size() > found->size())) {
      found = &given;
    }
  }
  if (found == nullptr) return {};
  const std::string_view name = RootName(*found), below = path.substr(found->size());
  return name.empty() ? std::string(below) : JoinPath(name, below);
}

RelocationDestination CheckRelocationDestination(const RootResolution& roots, const std::string& folder) {
  const std::string resolved = platform::RealPath(folder);
  if (resolved.empty() || !platform::FolderExists(resolved)) {
    return {{}, FormatText(TranslateText("The destination folder does not exist: %s"), {TerminalSafePath(folder)})};
  }
  const std::string destination = NormalizeFolderPath(resolved);
  for (const auto& [given, root] : roots.Roots()) {
    // Where this root's items land, and where every item lands below.
    const std::string_view name = RootName(given);
    const std::string landing = name.empty() ? destination : NormalizeFolderPath(JoinPath(destination, name));
    for (const auto& [otherGiven, other] : roots.Roots()) {
      if (!AtOrInside(landing, other)) continue;
      return {{},
              FormatText(TranslateText("Items put in this folder would land inside a scanned folder (%s), where the "
                                       "next scan finds them again and a folder could go into itself. Choose a "
                                       "folder outside the scanned folders."),
                         {TerminalSafePath(otherGiven)})};
    }
  }
  return {resolved, {}};
}

std::string RelocationQuestion(const RemovalPlan& plan, platform::RelocationKind kind, const std::string& destination) {
  const bool move = kind == platform::RelocationKind::Move;
  return FormatText(move ? TranslateText("Move the checked items (%d) to %s?")
                         : TranslateText("Copy the checked items (%d) to %s?"),
                    {static_cast<std::int64_t>(plan.items.size()), TerminalSafePath(destination)}) +
         "\n\n" +
         TranslateText(
             "Each keeps its path below the scanned folder it was found in, inside a folder named after that "
             "folder. Nothing in the destination is replaced.");
}

std::string RelocationOutcomeText(platform::RelocationKind kind, const RelocationResult& result,
                                  const std::string& destination) {
  const bool move = kind == platform::RelocationKind::Move;
  if (result.stayed.empty()) {
    return FormatText(move ? TranslateText("The checked items were moved to %s.")
                           : TranslateText("The checked items were copied to %s."),
                      {TerminalSafePath(destination)});
  }
  return (move ? TranslateText("Some items were not moved.") : TranslateText("Some items were not copied.")) + "\n\n" +
         FormatText(move ? TranslateText("Moved: %d. Stayed: %d.") : TranslateText("Copied: %d. Stayed: %d."),
                    {static_cast<std::int64_t>(result.done.size()), static_cast<std::int64_t>(result.stayed.size())}) +
         StayedReasonsText(result.stayed);
}

void RelocateChecked(ResultList& files, ResultList& folders, ListKind active, Prompts& prompts,
                     platform::RelocationKind kind, const std::string& destination, const Relocator& relocator,
                     const RemovalProgress& progress) {
  ResultList& list = active == ListKind::Files ? files : folders;
  const RemovalPlan plan = PlanRemoval(list);
  if (plan.items.empty()) {
    prompts.Message(active == ListKind::Files ? TranslateText("No files selected.")
                                              : TranslateText("No directories selected."));
    return;
  }
  const RelocationDestination target = CheckRelocationDestination(list.Roots(), destination);
  if (!target.refusal.empty()) {
    prompts.Message(target.refusal);
    return;
  }
  if (!prompts.Confirm(RelocationQuestion(plan, kind, destination), true)) return;
  if (progress.onWorking) progress.onWorking(true);
  const RelocationResult result = CarryOutRelocation(list, plan, kind, target.resolved, relocator, progress);
  if (progress.onWorking) progress.onWorking(false);
  if (kind == platform::RelocationKind::Move) {
    RemoveRowsOfMovedItems(files, result.done);
    RemoveRowsOfMovedItems(folders, result.done);
  }
  prompts.Message(RelocationOutcomeText(kind, result, destination));
}

}  // namespace orvanta
