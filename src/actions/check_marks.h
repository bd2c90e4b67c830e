#pragma once

namespace orvanta {

class ResultList;

// In every group one row unchecked and every other row checked; rows of no
// group keep their mark. File list: the first row of each group in list
// order stays unchecked. Folder list: the kept folder is one that lies in no
// checked folder, and where groups nest the kept folders lie on one side (the
// subfolder kept is the one inside the kept folder), so that checking never
// puts every copy of a nested folder up for removal. The keep rules without
// a rule (keep_rules.h).
void CheckAllButOneInGroup(ResultList& list);
void CheckAll(ResultList& list);
void UncheckAll(ResultList& list);

}  // namespace orvanta
