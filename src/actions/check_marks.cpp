#include "actions/check_marks.h"

#include <unordered_set>

#include "core/result_list.h"

namespace orvanta {

void CheckAllButOneInGroup(ResultList& list) {
  std::unordered_set<int> seenGroups;
  for (std::size_t i = 0; i < list.Rows().size(); ++i) {
    const int group = list.Rows()[i].groupId;
    if (group < 0) continue;
    list.SetChecked(i, !seenGroups.insert(group).second);
  }
}

void CheckAll(ResultList& list) {
  for (std::size_t i = 0; i < list.Rows().size(); ++i) list.SetChecked(i, true);
}

void UncheckAll(ResultList& list) {
  for (std::size_t i = 0; i < list.Rows().size(); ++i) list.SetChecked(i, false);
}

}  // namespace orvanta
