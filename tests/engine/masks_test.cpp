#include <gtest/gtest.h>

#include "collect/masks.h"

namespace orvanta {
namespace {

using Masks = std::vector<std::string>;

TEST(ParseMasks, SplitsTrimsAndFallsBackToAllFiles) {
  const std::pair<const char*, Masks> cases[] = {
      {"", {"*.*"}},
      {" ;, | ", {"*.*"}},
      {"\t\r\n", {"*.*"}},
      {"*.jpg; *.png|*.gif", {"*.jpg", "*.png", "*.gif"}},
      {"*.txt,*.txt", {"*.txt", "*.txt"}},
      {"a b", {"a", "b"}},
      {"\"x,y\",z", {"x,y", "z"}},
      {"\"say \"\"hi\"\"\"", {"say,\"hi\""}},
      {"\"my file.txt\"", {"my,file.txt"}},  // blanks become separators before the quotes are read
      {"\"unclosed", {"unclosed"}},
  };
  for (const auto& [text, expected] : cases) {
    EXPECT_EQ(ParseMasks(text), expected) << text;
  }
}

TEST(FileMask, MatchesWholeNamesAsciiCaseInsensitively) {
  struct Case {
    const char* mask;
    const char* name;
    bool matches;
  };
  const Case cases[] = {
      {"*.*", "README", true},
      {"*.*", ".hidden", true},
      {"*", "README", true},
      {"*.txt", "a.txt", true},
      {"*.txt", "a.txt.bak", false},
      {"*.TXT", "Notes.txt", true},
      {"a?c", "abc", true},
      {"a?c", "ac", false},
      {"a?c",
       "a\xC3\xA9"
       "c",
       true},  // "?" takes one whole character
      {"[a-f]*", "Dog", true},
      {"[a-f]*", "xyz", false},
      {"[!a-f]*", "xyz", true},
      {"[!a-f]*", "Bee", false},
      {"*a*b*c", "xxaxxbxxc", true},
      {"*a*b*c", "xxaxxbxxcx", false},
      {"\xC3\xA9t\xC3\xA9*", "\xC3\xA9t\xC3\xA9.txt", true},
      {"\xC3\xA9*", "\xC3\x89T\xC3\x89", false},  // only a-z fold
      {"*.bin", "bad\xFF.bin", true},             // not valid UTF-8
      {"?", "\xFF", true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FileMask(c.mask).Matches(c.name), c.matches) << c.mask << " vs " << c.name;
  }
#ifndef _WIN32
  EXPECT_TRUE(FileMask("photo:1*").Matches("photo:12.jpg")) << "a colon is part of a name here";
#endif
}

TEST(FileMask, RejectsMalformedAndInvalidMasks) {
  for (const char* mask : {"[abc", "*.[!x", "", "   ", "a/b"}) {
    EXPECT_THROW(FileMask{mask}, MaskError) << mask;
  }
}

}  // namespace
}  // namespace orvanta
