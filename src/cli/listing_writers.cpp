#include "cli/listing_writers.h"

#include <ostream>
#include <vector>

#include "actions/csv_export.h"
#include "actions/list_rows.h"
#include "core/file_record.h"
#include "core/result_list.h"
#include "platform/platform.h"
#include "text/json.h"
#include "text/text_helpers.h"

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
  void WriteList(std::ostream& out, const ResultList& list) override {
    ForEachGroup(list, [&](const ListGroup& group, const std::vector<const ListRow*>& members) {
      if (wroteGroup_) out << '\n';
      wroteGroup_ = true;
      out << group.header << '\n';
      for (const ListRow* row : members) out << TerminalSafePath(RowPath(*row)) << '\n';
    });
  }

 private:
  bool wroteGroup_ = false;
};

class CsvWriter final : public ListingWriter {
 public:
  explicit CsvWriter(CsvColumns columns) : columns_(columns) {}
  void WriteList(std::ostream& out, const ResultList& list) override { out << ListViewToCsv(list, columns_); }

 private:
  CsvColumns columns_;
};

class NullWriter final : public ListingWriter {
 public:
  void WriteList(std::ostream& out, const ResultList& list) override {
    // The folder list follows the file list after one more NUL (an empty
    // group), so a script can tell where one list ends.
    if (wroteList_) out << '\0';
    wroteList_ = true;
    ForEachGroup(list, [&](const ListGroup&, const std::vector<const ListRow*>& members) {
      for (const ListRow* row : members) out << RowPath(*row) << '\0';
      out << '\0';
    });
  }

 private:
  bool wroteList_ = false;
};

class JsonWriter final : public ListingWriter {
 public:
  void WriteList(std::ostream&, const ResultList& list) override {
    std::string& json = list.Kind() == ListKind::Files ? files_ : folders_;
    ForEachGroup(list, [&](const ListGroup& group, const std::vector<const ListRow*>& members) {
      json += json.empty() ? "\n    " : ",\n    ";
      json += "{\"group\": " + std::to_string(group.groupId) + ", \"header\": ";
      AppendJsonString(json, group.header);
      json += ", \"size\": " + std::to_string(group.totalSize) + ", \"paths\": [";
      for (std::size_t i = 0; i < members.size(); ++i) {
        if (i > 0) json += ", ";
        AppendJsonString(json, RowPath(*members[i]));
      }
      json += "], \"members\": [";
      for (std::size_t i = 0; i < members.size(); ++i) {
        const ListRow& row = *members[i];
        json += i > 0 ? ",\n      {\"path\": " : "\n      {\"path\": ";
        AppendJsonString(json, RowPath(row));
        if (row.data != nullptr) {
          json += ", \"size\": " + std::to_string(row.data->size) + ", \"modified\": ";
          AppendJsonString(json, UtcTimestamp(platform::UnixNanoseconds(row.data->modified)));
        }
        json += "}";
      }
      json += "]}";
    });
  }
  void Finish(std::ostream& out) override {
    auto array = [](const std::string& groups) { return groups.empty() ? std::string("[]") : "[" + groups + "\n  ]"; };
    out << "{\n  \"files\": " << array(files_) << ",\n  \"folders\": " << array(folders_) << "\n}\n";
  }

 private:
  std::string files_, folders_;
};

}  // namespace

std::unique_ptr<ListingWriter> MakeTextWriter() { return std::make_unique<TextWriter>(); }
std::unique_ptr<ListingWriter> MakeCsvWriter(CsvColumns columns) { return std::make_unique<CsvWriter>(columns); }
std::unique_ptr<ListingWriter> MakeNullWriter() { return std::make_unique<NullWriter>(); }
std::unique_ptr<ListingWriter> MakeJsonWriter() { return std::make_unique<JsonWriter>(); }

}  // namespace orvanta
