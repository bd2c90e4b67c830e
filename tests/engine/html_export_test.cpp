// The web page export: every name escaped, whatever bytes it holds.
#include <gtest/gtest.h>

#include <sstream>

#include "actions/html_export.h"
#include "cli_run.h"
#include "core/file_record.h"
#include "core/result_list.h"
#include "test_support.h"
#include "text/text_helpers.h"

namespace orvanta {
namespace {

// Every byte of the page is printable UTF-8 or a line break.
bool PrintableUtf8(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    if (text[i] == '\n') {
      ++i;
      continue;
    }
    const std::size_t length = PrintableLength(text, i);
    if (length == 0) return false;
    i += length;
  }
  return true;
}

TEST(HtmlExport, EscapesHostileNamesAndKeepsThePageWhole) {
  FileRegistry files;
  const std::vector<std::string> names = {"/d/<script>alert(1).txt", "/d/a & b \"c\" 'd'.txt", "/d/new\nline.txt",
                                          "/d/caf\xE9\xFF.txt", "/<b>folder/x.txt"};
  ResultList list = MakeFileCloneList();
  AddListGroup(list, 1, 4096, ".", names.size(), [&](std::size_t member, ListRow& row) {
    row.data = &files.Add(names[member], 1024 + static_cast<std::int64_t>(member));
  });
  ResultList folders = MakeFolderCloneList();
  const std::string html = ListsToHtml({&list, &folders});

  EXPECT_EQ(html.rfind("<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"utf-8\">", 0), 0u);
  EXPECT_EQ(html.find("<script"), std::string::npos) << "no markup from a name, and no script of its own";
  EXPECT_NE(html.find("<td>&lt;script&gt;alert(1).txt</td>"), std::string::npos) << html;
  EXPECT_NE(html.find("<td>a &amp; b &quot;c&quot; &#39;d&#39;.txt</td>"), std::string::npos);
  EXPECT_NE(html.find("<td>/&lt;b&gt;folder</td>"), std::string::npos);
  // A line break or a byte that is not UTF-8 is shown as the command line quotes it.
  EXPECT_NE(html.find("<td>&#39;new&#39;$&#39;\\n&#39;&#39;line.txt&#39;</td>"), std::string::npos) << html;
  EXPECT_NE(html.find("<td>&#39;caf&#39;$&#39;\\351\\377&#39;&#39;.txt&#39;</td>"), std::string::npos) << html;
  EXPECT_TRUE(PrintableUtf8(html));
  EXPECT_NE(html.find("<th colspan=\"3\">Group 1 (0.00 MB)</th>"), std::string::npos);
  EXPECT_NE(html.find("<h2>Folder Clones</h2>"), std::string::npos) << "an empty list keeps its title";
  EXPECT_EQ(html.substr(html.size() - 16), "</body>\n</html>\n");
}

TEST(HtmlExport, TheCommandLineWritesThePageToAFileOrStandardOutput) {
  test::TempTree tree;
#ifdef _WIN32
  const std::string name = "x&y.txt", escaped = "x&amp;y.txt";  // Windows names hold no < or >
#else
  const std::string name = "<i>.txt", escaped = "&lt;i&gt;.txt";
#endif
  tree.File("a/" + name, "same");
  tree.File("b/" + name, "same");
  auto run = [](std::vector<std::string> args) {
    const test::CliResult r = test::RunCliWith(std::move(args));
    return std::tuple{r.status, r.out, r.err};
  };
  const auto [status, out, err] = run({"--min-size-mb=0", "--html", "-", tree.Root()});
  EXPECT_EQ(status, 0) << err;
  EXPECT_EQ(out.rfind("<!DOCTYPE html>", 0), 0u) << "the page replaces the listing";
  EXPECT_NE(out.find(escaped), std::string::npos);

  const std::string page = tree.Path("page.html");
  const auto [fileStatus, listing, fileErr] =
      run({"--min-size-mb=0", "--html", page, tree.Folder("a"), tree.Folder("b")});
  EXPECT_EQ(fileStatus, 0) << fileErr;
  EXPECT_EQ(listing.rfind("Group 1", 0), 0u);
  EXPECT_NE(test::ReadFile(page).find(escaped), std::string::npos);

  EXPECT_EQ(std::get<0>(run({"--html", "-", "--json", tree.Root()})), 2);
  EXPECT_EQ(std::get<0>(run({"--html", "-", "--csv", "-", tree.Root()})), 2);
}

}  // namespace
}  // namespace orvanta
