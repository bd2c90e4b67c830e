#pragma once

namespace orvanta {

class ResultList;

// In every group the first row in list order unchecked and every later row
// checked, wherever the rows stand; rows of no group keep their mark.
void CheckAllButOneInGroup(ResultList& list);
void CheckAll(ResultList& list);
void UncheckAll(ResultList& list);

}  // namespace orvanta
