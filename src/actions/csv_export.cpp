#include "actions/csv_export.h"

#include "core/result_list.h"
#include "platform/platform.h"

namespace orvanta {
namespace {

void AppendQuoted(std::string& out, const std::string& field) {
  out.push_back('"');
  for (const char c : field) {
    if (c == '"') out.push_back('"');
    out.push_back(c);
  }
  out.push_back('"');
}

}  // namespace

std::string ListViewToCsv(const ResultList& list) {
  std::string csv = "\xEF\xBB\xBF";
  const auto& columns = list.Columns();
  for (std::size_t i = 0; i < columns.size(); ++i) {
    if (i != 0) csv.push_back(',');
    csv += columns[i].caption;
  }
  csv += "\r\n";
  for (const ListRow& row : list.Rows()) {
    AppendQuoted(csv, row.caption);
    for (std::size_t item = 0; item < list.CellCount(row); ++item) {
      csv.push_back(',');
      AppendQuoted(csv, list.CellText(row, item));
    }
    csv += "\r\n";
  }
  return csv;
}

void ExportListViewToCsv(const ResultList& list, const std::string& fileName) {
  platform::ReplaceFileContents(fileName, ListViewToCsv(list));
}

}  // namespace orvanta
