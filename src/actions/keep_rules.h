// Which copies stay: rules that pick the kept members of every group, and the
// check marks that follow from them.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "actions/list_rows.h"
#include "core/paths.h"

namespace orvanta {

class ResultList;

struct KeepRule {
  enum class Kind { InFolder, Newest, Oldest, ShortestPath };
  Kind kind;
  // InFolder: the folder as the kernel resolves it (links followed, relative
  // to the current folder), keyed as the lists key folders; only made absolute
  // when it does not exist. Rows are matched through their roots' resolved
  // paths, so a link to a scanned folder names it as well as its own path.
  std::string folder;
  std::string given;  // InFolder: the folder as the person named it, for messages
};

// "newest", "oldest", "shortest" or "in=FOLDER"; nothing for any other text.
std::optional<KeepRule> ParseKeepRule(std::string_view text);
KeepRule KeepInFolder(std::string_view folder);

// Whether a folder rule can apply to a scan of these roots: its folder must
// exist and be a root, lie inside one or hold one (compared resolved, exactly
// on POSIX: a folder named in other letter case is another folder).
enum class KeepFolderFit { Fits, NoFolder, NotScanned };
KeepFolderFit FitOfKeepFolder(const KeepRule& rule, const RootResolution& roots);

// What CheckAllButKept did besides the marks, for the front ends to tell.
struct KeepReport {
  std::size_t groups = 0;  // groups decided
  // Per rule, in order: the groups in which a folder rule was asked and held
  // no copy it could keep, so that later rules (or list order) chose there.
  std::vector<std::size_t> heldNone;
  // Groups that kept every copy, each owned by another user in a shared folder.
  std::size_t keptWhole = 0;
};

// A copy owned by another user in a folder other users may write to (as in a
// sticky /tmp): that user, or another, may delete it once the person's own
// copy is gone. Never on Windows, where owners are not compared.
bool OthersCopyInSharedFolder(const ListRow& row);

// Checks every member of every group except the kept ones; rows of no group
// keep their mark. The rules decide in order of priority: a folder rule that
// holds members of the group keeps them all; newest, oldest and shortest path
// narrow the candidates to their best; the first candidate left in list order
// is kept. On the folder list no kept folder ever lies inside a checked one:
// groups are decided from the outermost folders in, a folder inside a checked
// folder is never a candidate, and a kept folder also keeps the members of
// later groups that lie inside it or hold it.
// A copy owned by another user in a shared folder is neither relied on nor
// touched: it stays unchecked, and the rules choose among the other
// candidates; when every candidate is such a copy, the group keeps them all.
KeepReport CheckAllButKept(ResultList& list, const std::vector<KeepRule>& rules);

// "%d groups keep every copy: ..." when the report kept groups whole; empty otherwise.
std::string KeptWholeNote(const KeepReport& report);

// For the removal question and the command line: the groups about to lose a
// copy in which copies owned by other users in shared folders stay unchecked
// and a copy of the person's own is kept instead; empty when there are none.
std::string OthersCopiesNote(const ResultList& list);

}  // namespace orvanta
