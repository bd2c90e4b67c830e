#include "actions/link_replacement.h"

#include <unordered_set>

#include "actions/list_rows.h"
#include "actions/prompts.h"
#include "core/result_list.h"
#include "text/translate.h"

namespace orvanta {

std::string LinkQuestion(const RemovalPlan& plan) {
  return FormatText(TranslateText("Replace %d files with links to the kept copy?"),
                    {static_cast<std::int64_t>(plan.items.size())}) +
         "\n\n" +
         TranslateText(
             "Every path stays. A copy-on-write clone stays a file of its own; a hard link makes the "
             "path show the kept copy's file, and an edit through either path changes both.");
}

void MarkLinkedRowsStale(ResultList& list, const std::vector<std::string>& replaced) {
  const std::unordered_set<std::string> linked(replaced.begin(), replaced.end());
  for (std::size_t i = 0; i < list.Rows().size(); ++i) {
    if (linked.count(RowPath(list.Rows()[i])) != 0) list.MarkStale(i);
  }
}

void LinkChecked(ResultList& files, ListKind active, Prompts& prompts, const Linker& linker,
                 const RemovalProgress& progress) {
  if (active != ListKind::Files) {
    prompts.Message(TranslateText("Only files are replaced with links."));
    return;
  }
  const RemovalPlan plan = PlanRemoval(files);
  if (plan.items.empty()) {
    prompts.Message(TranslateText("No files selected."));
    return;
  }
  if (!prompts.Confirm(LinkQuestion(plan), true)) return;
  if (progress.onWorking) progress.onWorking(true);
  const LinkResult result = CarryOutLinking(files, plan, linker, progress);
  if (progress.onWorking) progress.onWorking(false);
  MarkLinkedRowsStale(files, result.replaced);
  prompts.Message(LinkOutcomeText(result));
}

}  // namespace orvanta
