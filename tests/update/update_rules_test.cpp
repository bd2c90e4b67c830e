// The update check's toolkit-free rules: lines, the version line, the message.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "engine/test_support.h"
#include "text/catalogue.h"
#include "update/update_rules.h"

namespace orvanta {
namespace {

TEST(UpdateRules, SplitLinesAtEveryKindOfBreak) {
  const std::pair<std::string, std::vector<std::string>> cases[] = {
      {"", {}},
      {"25/20", {"25/20"}},
      {"a\r\nb\nc\rd", {"a", "b", "c", "d"}},
      {"a\n", {"a"}},
      {"\n", {""}},
      {"a\r\n\r\nb", {"a", "", "b"}},
      {"\r\r\n", {"", ""}},
      {"\xEF\xBB\xBF"
       "25/20\r\n",
       {"25/20"}},
      {"\xEF\xBB", {"\xEF\xBB"}},  // not a whole byte-order mark
  };
  for (const auto& [body, lines] : cases) EXPECT_EQ(SplitLines(body), lines) << body;
}

TEST(UpdateRules, DropEmptyLinesKeepsBlanks) {
  std::vector<std::string> lines{"", "one", "", "  ", "two", ""};
  DropEmptyLines(lines);
  EXPECT_EQ(lines, (std::vector<std::string>{"one", "  ", "two"}));
}

TEST(UpdateRules, VersionLineIsTwoDecimalNumbers) {
  struct Case {
    const char* line;
    std::optional<std::tuple<int, int, std::string>> parsed;
  };
  const Case cases[] = {
      {"25/20", std::tuple{25, 20, "25"}},
      {"210/025", std::tuple{210, 25, "210"}},
      {"25/20/3", std::nullopt},
      {"25", std::nullopt},
      {"25/", std::nullopt},
      {"/20", std::nullopt},
      {"2a/20", std::nullopt},
      {"25/2x", std::nullopt},
      // The integer value of each part: a sign and blanks around the digits count.
      {"+25/20", std::tuple{25, 20, "+25"}},
      {" 25/20", std::tuple{25, 20, " 25"}},
      {"25/ 20", std::tuple{25, 20, "25"}},
      {"25/20 ", std::tuple{25, 20, "25"}},
      {"-25/20", std::tuple{-25, 20, "-25"}},
      {"25/+-20", std::nullopt},
      {"2 5/20", std::nullopt},
      {" /20", std::nullopt},
      {"0x19/20", std::nullopt},
      {"99999999999/20", std::nullopt},
  };
  for (const Case& c : cases) {
    const std::optional<VersionLine> version = ParseVersionLine(c.line);
    ASSERT_EQ(version.has_value(), c.parsed.has_value()) << c.line;
    if (version) {
      EXPECT_EQ(std::tie(version->latest, version->minimum, version->latestText), *c.parsed) << c.line;
    }
  }
}

TEST(UpdateRules, DisplayVersionPutsThePointBeforeTheLastDigit) {
  EXPECT_EQ(DisplayVersion("25"), "2.5");
  EXPECT_EQ(DisplayVersion("210"), "21.0");
  EXPECT_EQ(DisplayVersion("025"), "02.5");
  EXPECT_EQ(RunningVersionNumber(), 24);
}

TEST(UpdateRules, ServerFromTheEnvironmentOverridesTheBuildSetting) {
  {
    const test::ScopedEnvironmentVariable unset("ORVANTA_UPDATE_URL", std::nullopt);
    EXPECT_TRUE(UpdateServerUrl().starts_with("https://")) << UpdateServerUrl();
  }
  const test::ScopedEnvironmentVariable local("ORVANTA_UPDATE_URL", "http://127.0.0.1:8080//");
  EXPECT_EQ(UpdateServerUrl(), "http://127.0.0.1:8080");
}

// Templates are translated first and filled in afterwards.
TEST(UpdateRules, MessageIsComposedInTheCurrentLanguage) {
  const std::filesystem::path catalogue =
      std::filesystem::temp_directory_path() / ("orvanta-update-rules-" + std::to_string(getpid()) + ".dt");
  std::ofstream(catalogue) << "2\nEnglish\nDeutsch\nen\nde\n"
                              "The new version %s is available\nDie neue Version %s ist da\n"
                              "What's new:\nNeu:\n";
  LoadTranslationsFrom(catalogue.string(), std::nullopt, "de");
  const std::optional<UpdateOffer> offer = ComposeUpdateOffer("25/20", "Schneller", 24);
  LoadTranslationsFrom((catalogue.string() + ".none"), std::nullopt, "en");
  std::filesystem::remove(catalogue);
  ASSERT_TRUE(offer);
  EXPECT_FALSE(offer->compulsory);
  EXPECT_EQ(offer->message, "Die neue Version 2.5 ist da\r\n\r\nNeu:\r\nSchneller\r\n");
}

}  // namespace
}  // namespace orvanta
