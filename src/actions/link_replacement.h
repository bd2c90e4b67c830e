// Replacing the checked copies of the file clone list with links to the kept
// copy: every path stays, the copies' space comes back.
#pragma once

#include <string>
#include <vector>

#include "actions/removal.h"
#include "platform/platform.h"

namespace orvanta {

class Prompts;
class ResultList;

// "Replace %d files with links to the kept copy?" and what a link keeps.
std::string LinkQuestion(const RemovalPlan& plan);

// Greys the rows of the replaced copies: each is now another file (a clone)
// or the kept copy's own (a hard link), no longer what was compared.
void MarkLinkedRowsStale(ResultList& list, const std::vector<std::string>& replaced);

// The window's command on the active list: only the file clone list, nothing
// checked, the question, the checks and comparisons, the links, the rows, the
// outcome.
void LinkChecked(ResultList& files, ListKind active, Prompts& prompts, const Linker& linker,
                 const RemovalProgress& progress = {});

}  // namespace orvanta
