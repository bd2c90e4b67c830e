// The shared text rules: folding only A-Z, the order folder groups are listed
// in, and trimming that keeps inner blanks.
#include <gtest/gtest.h>

#include "text/text_helpers.h"

namespace orvanta {
namespace {

TEST(TextHelpers, CaseFoldingTouchesOnlyLatinLetters) {
  EXPECT_EQ(AsciiLowerCase("ABC xyz-\xC3\x84"), "abc xyz-\xC3\x84");  // "Ä" stays as it is
  EXPECT_TRUE(EqualIgnoringAsciiCase("De", "dE"));
  EXPECT_FALSE(EqualIgnoringAsciiCase("de", "de "));
  EXPECT_FALSE(EqualIgnoringAsciiCase("\xC3\x84", "\xC3\xA4"));
}

TEST(TextHelpers, CaseLessFoldsToUpperCaseAndPutsPrefixesFirst) {
  struct Case {
    const char* a;
    const char* b;
    bool less;
  };
  const Case cases[] = {
      {"abc", "ABD", true},
      {"ABD", "abc", false},
      {"abc", "ABC", false},
      {"ABC", "abc", false},
      {"/a", "/a/b", true},
      {"/a/b", "/a", false},
      // Folded to upper case, letters sort before '_' (0x5F), lower case would sort them after.
      {"b", "_", true},
      {"_", "B", false},
      {"z", "\xC3\x84", true},  // bytes above 0x7F compare unsigned
  };
  for (const Case& c : cases) EXPECT_EQ(AsciiCaseLess(c.a, c.b), c.less) << c.a << " < " << c.b;
}

TEST(TextHelpers, TrimBlanksRemovesControlsAndBlanksAtTheEndsOnly) {
  EXPECT_EQ(TrimBlanks(" \t a b \r\n"), "a b");
  EXPECT_EQ(TrimBlanks(" \x01 "), "");
  EXPECT_EQ(TrimBlanks("\xC2\xA0x"), "\xC2\xA0x");  // a no-break space is text
}

TEST(TextHelpers, UtcTimestampIsRfc3339WithTheFractionWhenThereIsOne) {
  const std::pair<std::int64_t, const char*> cases[] = {
      {0, "1970-01-01T00:00:00Z"},
      {1796964048250000000, "2026-12-11T04:40:48.250000000Z"},
      {1796964048000000001, "2026-12-11T04:40:48.000000001Z"},
      {-1, "1969-12-31T23:59:59.999999999Z"},
      {951782400000000000, "2000-02-29T00:00:00Z"},
  };
  for (const auto& [time, text] : cases) EXPECT_EQ(UtcTimestamp(time), text) << time;
}

}  // namespace
}  // namespace orvanta
