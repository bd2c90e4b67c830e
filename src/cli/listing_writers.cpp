#include "cli/listing_writers.h"

#include <ostream>
#include <vector>

#include "actions/csv_export.h"
#include "core/file_record.h"
#include "core/result_list.h"

namespace orvanta {
namespace {

// Calls visit(group, rows) for each group with the rows that belong to it, in list order.
template <typename Visit>
void ForEachGroup(const ResultList& list, Visit visit) {
  const std::vector<ListRow>& rows = list.Rows();
  std::size_t row = 0;
  std::vector<const ListRow*> members;
  for (const ListGroup& group : list.Groups()) {
    members.clear();
    for (; row < rows.size() && rows[row].groupId == group.groupId; ++row) members.push_back(&rows[row]);
    visit(group, members);
  }
}

class TextWriter final : public ListingWriter {
 public:
  void WriteList(std::ostream& out, CloneKind, const ResultList& list) override {
    ForEachGroup(list, [&](const ListGroup& group, const std::vector<const ListRow*>& members) {
      if (wroteGroup_) out << '\n';
      wroteGroup_ = true;
      out << group.header << '\n';
      for (const ListRow* row : members) out << RowPath(*row) << '\n';
    });
  }

 private:
  bool wroteGroup_ = false;
};

class CsvWriter final : public ListingWriter {
 public:
  void WriteList(std::ostream& out, CloneKind, const ResultList& list) override { out << ListViewToCsv(list); }
};

}  // namespace

const std::string& RowPath(const ListRow& row) {
  if (row.data != nullptr) return row.data->fullPath;
  return row.subItems.empty() ? row.caption : row.subItems.front();
}

std::unique_ptr<ListingWriter> MakeTextWriter() { return std::make_unique<TextWriter>(); }
std::unique_ptr<ListingWriter> MakeCsvWriter() { return std::make_unique<CsvWriter>(); }

}  // namespace orvanta
