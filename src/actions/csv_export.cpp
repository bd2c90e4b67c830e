#include "actions/csv_export.h"

#include "core/file_record.h"
#include "core/result_list.h"
#include "platform/platform.h"
#include "text/translate.h"

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

std::string ListViewToCsv(const ResultList& list, CsvColumns columns) {
  const bool extra = columns == CsvColumns::WithBytesAndChecked;
  std::string csv = "\xEF\xBB\xBF";
  const auto& captions = list.Columns();
  for (std::size_t i = 0; i < captions.size(); ++i) {
    if (i != 0) csv.push_back(',');
    csv += captions[i].caption;
  }
  if (extra) csv += "," + TranslateText("Size (bytes)") + "," + TranslateText("Checked");
  csv += "\r\n";
  for (const ListRow& row : list.Rows()) {
    AppendQuoted(csv, row.caption);
    for (std::size_t item = 0; item < list.CellCount(row); ++item) {
      csv.push_back(',');
      AppendQuoted(csv, list.CellText(row, item));
    }
    if (extra) {
      csv.push_back(',');
      AppendQuoted(csv, row.data != nullptr && row.data->size >= 0 ? std::to_string(row.data->size) : std::string());
      csv.push_back(',');
      AppendQuoted(csv, row.checked ? "1" : "0");
    }
    csv += "\r\n";
  }
  return csv;
}

void ExportListViewToCsv(const ResultList& list, const std::string& fileName, CsvColumns columns) {
  platform::ReplaceFileContents(fileName, ListViewToCsv(list, columns));
}

}  // namespace orvanta
