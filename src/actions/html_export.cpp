#include "actions/html_export.h"

#include "core/app_info.h"
#include "core/result_list.h"
#include "platform/platform.h"
#include "text/text_helpers.h"
#include "text/translate.h"

namespace orvanta {
namespace {

constexpr std::string_view kStyle =
    "body{font-family:sans-serif;margin:1.5em;color:#222}"
    "h1{font-size:1.4em}h2{font-size:1.2em;margin-top:1.5em}"
    "table{border-collapse:collapse;width:100%;margin-bottom:1em}"
    "th,td{text-align:start;padding:.2em .6em;border-bottom:1px solid #ddd;vertical-align:top}"
    "td{overflow-wrap:anywhere}"
    "tbody th{background:#eef2f8;font-weight:bold}"
    "td.size{white-space:nowrap;text-align:end}"
    "@media print{tbody{break-inside:avoid}}";

// Text for an HTML element or attribute: markup characters as entities,
// anything that is not printable UTF-8 as U+FFFD.
std::string HtmlEscaped(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t length = PrintableLength(text, i);
    if (length == 0) {
      out += "\xEF\xBF\xBD";
      ++i;
      continue;
    }
    if (length == 1) {
      switch (text[i]) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&#39;"; break;
        default: out.push_back(text[i]);
      }
    } else {
      out.append(text.substr(i, length));
    }
    i += length;
  }
  return out;
}

void AppendList(std::string& html, const ResultList& list) {
  const bool files = list.Kind() == ListKind::Files;
  html += "<h2>" + HtmlEscaped(files ? TranslateText("File Clones") : TranslateText("Folder Clones")) +
          "</h2>\n<table>\n<thead><tr>";
  // The group number is in each group's header; the other columns as the list shows them.
  const std::vector<ListColumn>& columns = list.Columns();
  for (std::size_t i = 1; i < columns.size(); ++i) html += "<th>" + HtmlEscaped(columns[i].caption) + "</th>";
  html += "</tr></thead>\n";
  const std::vector<ListRow>& rows = list.Rows();
  std::size_t row = 0;
  for (const ListGroup& group : list.Groups()) {
    html += "<tbody><tr><th colspan=\"" + std::to_string(columns.size() > 1 ? columns.size() - 1 : 1) + "\">" +
            HtmlEscaped(group.header) + "</th></tr>\n";
    for (; row < rows.size() && rows[row].groupId == group.groupId; ++row) {
      html += "<tr>";
      const std::size_t cells = list.CellCount(rows[row]);
      for (std::size_t item = 0; item < cells; ++item) {
        // The last column is the size; the others name the item.
        const std::string cell = list.CellText(rows[row], item);
        html += item + 1 == cells ? "<td class=\"size\">" + HtmlEscaped(cell)
                                  : "<td>" + HtmlEscaped(TerminalSafePath(cell));
        html += "</td>";
      }
      html += "</tr>\n";
    }
    html += "</tbody>\n";
  }
  html += "</table>\n";
}

}  // namespace

std::string ListsToHtml(const std::vector<const ResultList*>& lists) {
  const std::string title = HtmlEscaped(kApplicationTitle);
  std::string html = "<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"utf-8\">\n<title>" + title +
                     "</title>\n<style>" + std::string(kStyle) + "</style>\n</head>\n<body>\n<h1>" + title + "</h1>\n";
  for (const ResultList* list : lists) AppendList(html, *list);
  return html + "</body>\n</html>\n";
}

void ExportListsToHtml(const std::vector<const ResultList*>& lists, const std::string& fileName) {
  platform::ReplaceFileContents(fileName, ListsToHtml(lists));
}

}  // namespace orvanta
