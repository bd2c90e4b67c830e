#include "actions/check_marks.h"

#include "actions/keep_rules.h"
#include "core/result_list.h"

namespace orvanta {

void CheckAllButOneInGroup(ResultList& list) { CheckAllButKept(list, {}); }

void CheckAll(ResultList& list) {
  for (std::size_t i = 0; i < list.Rows().size(); ++i) list.SetChecked(i, true);
}

void UncheckAll(ResultList& list) {
  for (std::size_t i = 0; i < list.Rows().size(); ++i) list.SetChecked(i, false);
}

}  // namespace orvanta
