#include "cli/listing_writers.h"

#include <ostream>
#include <vector>

#include "actions/csv_export.h"
#include "actions/list_rows.h"
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

// Length of the valid UTF-8 sequence at text[at] that is no control character; 0 otherwise.
std::size_t PrintableLength(std::string_view text, std::size_t at) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  if (lead < 0x80) return lead >= 0x20 && lead != 0x7F ? 1 : 0;
  std::size_t length = lead >= 0xF0 && lead <= 0xF4 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 && lead < 0xE0 ? 2 : 0;
  if (length == 0 || at + length > text.size()) return 0;
  char32_t code = lead & (0x7F >> length);
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(at + i) & 0xC0) != 0x80) return 0;
    code = code << 6 | (byte(at + i) & 0x3F);
  }
  const bool overlong = (length == 3 && code < 0x800) || (length == 4 && code < 0x10000);
  const bool c1Control = code >= 0x80 && code < 0xA0;
  const bool invalid = code > 0x10FFFF || (code >= 0xD800 && code < 0xE000);
  return overlong || c1Control || invalid ? 0 : length;
}

void AppendJsonString(std::string& json, std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  json.push_back('"');
  for (std::size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c == '"' || c == '\\') {
      json += {'\\', static_cast<char>(c)};
      ++i;
    } else if (c < 0x80 && c >= 0x20) {
      json.push_back(static_cast<char>(c));
      ++i;
    } else if (const std::size_t length = c >= 0x80 ? PrintableLength(text, i) : 0; length > 0) {
      json.append(text.substr(i, length));
      i += length;
    } else if (c < 0x80) {
      json += {'\\', 'u', '0', '0', kHex[c >> 4], kHex[c & 15]};
      ++i;
    } else if (c >= 0xC2 && c < 0xE0 && i + 1 < text.size() &&
               (static_cast<unsigned char>(text[i + 1]) & 0xC0) == 0x80) {
      // A C1 control character: valid UTF-8, escaped as its code point.
      const unsigned code = (c & 0x1Fu) << 6 | (static_cast<unsigned char>(text[i + 1]) & 0x3Fu);
      json += {'\\', 'u', '0', '0', kHex[code >> 4], kHex[code & 15]};
      i += 2;
    } else {
      json += {'\\', 'u', 'd', 'c', kHex[c >> 4], kHex[c & 15]};
      ++i;
    }
  }
  json.push_back('"');
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
  void WriteList(std::ostream& out, const ResultList& list) override { out << ListViewToCsv(list); }
};

class NullWriter final : public ListingWriter {
 public:
  void WriteList(std::ostream& out, const ResultList& list) override {
    ForEachGroup(list, [&](const ListGroup&, const std::vector<const ListRow*>& members) {
      for (const ListRow* row : members) out << RowPath(*row) << '\0';
      out << '\0';
    });
  }
};

class JsonWriter final : public ListingWriter {
 public:
  void WriteList(std::ostream&, const ResultList& list) override {
    std::string& json = list.Kind() == ListKind::Files ? files_ : folders_;
    ForEachGroup(list, [&](const ListGroup& group, const std::vector<const ListRow*>& members) {
      json += json.empty() ? "\n    " : ",\n    ";
      json += "{\"group\": " + std::to_string(group.groupId) + ", \"header\": ";
      AppendJsonString(json, group.header);
      json += ", \"paths\": [";
      for (std::size_t i = 0; i < members.size(); ++i) {
        if (i > 0) json += ", ";
        AppendJsonString(json, RowPath(*members[i]));
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

std::string TerminalSafePath(std::string_view path) {
  std::size_t at = 0;
  while (at < path.size()) {
    const std::size_t length = PrintableLength(path, at);
    if (length == 0) break;
    at += length;
  }
  if (at == path.size()) return std::string(path);
  // Printable runs in '...', the others in $'...' with C escapes, as a POSIX shell reads them back.
  std::string quoted;
  for (std::size_t i = 0; i < path.size();) {
    quoted += "'";
    for (std::size_t length; i < path.size() && (length = PrintableLength(path, i)) > 0; i += length) {
      if (path[i] == '\'') {
        quoted += "'\\''";
      } else {
        quoted.append(path.substr(i, length));
      }
    }
    quoted += "'";
    if (i == path.size()) break;
    quoted += "$'";
    for (; i < path.size() && PrintableLength(path, i) == 0; ++i) {
      const auto c = static_cast<unsigned char>(path[i]);
      switch (c) {
        case '\a': quoted += "\\a"; break;
        case '\b': quoted += "\\b"; break;
        case '\t': quoted += "\\t"; break;
        case '\n': quoted += "\\n"; break;
        case '\v': quoted += "\\v"; break;
        case '\f': quoted += "\\f"; break;
        case '\r': quoted += "\\r"; break;
        case 0x1B: quoted += "\\E"; break;
        default:
          quoted += {'\\', static_cast<char>('0' + (c >> 6)), static_cast<char>('0' + (c >> 3 & 7)),
                     static_cast<char>('0' + (c & 7))};
      }
    }
    quoted += "'";
  }
  // Drop the empty '' a path starting with an escape opened with.
  if (quoted.rfind("''", 0) == 0) quoted.erase(0, 2);
  return quoted;
}

std::unique_ptr<ListingWriter> MakeTextWriter() { return std::make_unique<TextWriter>(); }
std::unique_ptr<ListingWriter> MakeCsvWriter() { return std::make_unique<CsvWriter>(); }
std::unique_ptr<ListingWriter> MakeNullWriter() { return std::make_unique<NullWriter>(); }
std::unique_ptr<ListingWriter> MakeJsonWriter() { return std::make_unique<JsonWriter>(); }

}  // namespace orvanta
