#include <gtest/gtest.h>

#include <set>

#include "platform/platform.h"
#include "test_support.h"
#include "text/catalogue.h"
#include "text/translate.h"

namespace orvanta {
namespace {

class CatalogueTest : public ::testing::Test {
 protected:
  void TearDown() override { LoadTranslationsFrom(tree.Path("none"), std::nullopt, "en"); }
  void Load(const std::string& text, std::optional<std::string> stored, const std::string& system = "en") {
    const std::string file = tree.File("transl.dt", text);
    LoadTranslationsFrom(file, stored, system);
  }
  int Index() const { return CurrentTranslations().currentLanguageIndex; }
  std::size_t Columns() const { return CurrentTranslations().table.size(); }

  test::TempTree tree;
};

const std::string kThree =
    "3\n"
    "English\nDeutsch\nFran\xC3\xA7"
    "ais\n"
    "en\nde\nfr\n"
    "Check all\nAlle markieren\nTout cocher\n"
    "Check All\nAlle Markieren\n\n"
    "Stop\nHalt\nArr\xC3\xAAt\n"
    "Stop\nZweiter\nSecond\n"
    "Scan\nSuchen\n";  // a partial block: ignored

TEST_F(CatalogueTest, ChoosesTheStoredOrSystemLanguageIgnoringCase) {
  const std::tuple<std::optional<std::string>, std::string, int> cases[] = {
      {"DE", "en", 1}, {std::nullopt, "fr", 2}, {std::nullopt, "jp", 0}, {"", "de", 0}, {"Fr", "de", 2}};
  for (const auto& [stored, system, index] : cases) {
    Load(kThree, stored, system);
    EXPECT_EQ(Index(), index) << stored.value_or("(none)") << " " << system;
    EXPECT_EQ(CurrentTranslations().currentLanguageCode, stored.value_or(system));
  }
}

TEST_F(CatalogueTest, LooksUpExactKeysInTheCurrentColumn) {
  Load(kThree, "de");
  EXPECT_EQ(TranslateText("Check all"), "Alle markieren");
  EXPECT_EQ(TranslateText("Check All"), "Alle Markieren");
  EXPECT_EQ(TranslateText("Check all "), "Check all ");
  EXPECT_EQ(TranslateText("Stop"), "Halt") << "the first of two equal keys";
  EXPECT_EQ(TranslateText("Scan"), "Scan") << "the partial block is ignored";
  EXPECT_EQ(TranslateText("Unknown"), "Unknown");
  ASSERT_EQ(Columns(), 3u);
  EXPECT_EQ(CurrentTranslations().table[2][0],
            "Fran\xC3\xA7"
            "ais");

  Load(kThree, "fr");
  EXPECT_EQ(TranslateText("Check All"), "Check All") << "an empty translation shows the English text";
  Load(kThree, "en");
  EXPECT_EQ(TranslateText("Stop"), "Stop") << "the first column is never looked up";
}

// A text shown in one language, worded again in another: the entry it was
// made from, filled with the values it was made with.
TEST_F(CatalogueTest, ATextShownInOneLanguageIsWordedAgainInAnother) {
  Load(
      "3\nEnglish\nDeutsch\nFran\xC3\xA7"
      "ais\nen\nde\nfr\n"
      "Done.\nFertig.\n\n"
      "Scanning: %s (%d/%d)\nSuche: %s (%d von %d)\nAnalyse : %s (%d/%d)\n"
      "Found %d files.\n%d Dateien gefunden.\n%d fichiers.\n"
      "%d%% done\n%d%% fertig\n\n",
      std::nullopt);
  const struct {
    const char* shown;
    int from, to;
    std::optional<std::string> expected;
  } cases[] = {
      {"  Done.", 0, 1, "  Fertig."},  // blanks around it stay
      {"Fertig.", 1, 2, "Done."},      // an empty translation is the English text
      {"Found 42 files.", 0, 1, "42 Dateien gefunden."},
      {"Found -3 files.", 0, 2, "-3 fichiers."},
      {"Found x files.", 0, 1, std::nullopt},  // %d takes digits only
      // A path holding what looks like the template's own numbers.
      {"Scanning: /a (1/2) (3/4)", 0, 1, "Suche: /a (1/2) (3 von 4)"},
      {"Suche: /b (5 von 6)", 1, 2, "Analyse : /b (5/6)"},
      {"50% done", 0, 1, "50% fertig"},
      {"Done", 0, 1, std::nullopt},
      {"", 0, 1, std::nullopt},
      {"Done.", 0, 3, std::nullopt},  // no such column
  };
  for (const auto& c : cases) EXPECT_EQ(TextInLanguage(c.shown, c.from, c.to), c.expected) << c.shown;
}

TEST_F(CatalogueTest, ReadsAnyLineBreakAndAByteOrderMark) {
  Load(
      "\xEF\xBB\xBF"
      "2\r\nEnglish\rDeutsch\nen\r\nde\nStop\r\nHalt\r\n",
      "de");
  EXPECT_EQ(Index(), 1);
  EXPECT_EQ(TranslateText("Stop"), "Halt");
  Load("2\nEnglish\nDeutsch\nen\nde\n\n\nScan\nSuchen", "de");
  EXPECT_EQ(TranslateText(""), "") << "empty lines are entries like any other";
  EXPECT_EQ(TranslateText("Scan"), "Suchen");
  // The count is the line's integer value: a sign and blanks around it count.
  for (const char* count : {" 2", "+2", "2 ", "\t2"}) {
    Load(std::string(count) + "\nEnglish\nDeutsch\nen\nde\nScan\nSuchen", "de");
    EXPECT_EQ(Index(), 1) << count;
    EXPECT_EQ(TranslateText("Scan"), "Suchen") << count;
  }
}

TEST_F(CatalogueTest, FaultyFilesLeaveEnglishAndAnEmptyTable) {
  const std::pair<const char*, std::string> cases[] = {
      {"first line not a number", "two\nEnglish\nDeutsch\nen\nde\n"},
      {"a number and more", "2 languages\nEnglish\nDeutsch\nen\nde\n"},
      {"negative count", "-1\nEnglish\n"},
      {"fewer lines than the names and codes", "3\nEnglish\nDeutsch\nFrancais\nen\nde\n"},
      {"count zero", "0\nEnglish\n"},
      {"empty file", ""},
  };
  for (const auto& [what, text] : cases) {
    Load(text, "de");
    EXPECT_EQ(Index(), 0) << what;
    EXPECT_EQ(Columns(), 0u) << what;
    EXPECT_EQ(TranslateText("Stop"), "Stop") << what;
  }
  LoadTranslationsFrom(tree.Path("missing.dt"), "de", "en");
  EXPECT_EQ(Columns(), 0u);
  EXPECT_EQ(CurrentTranslations().currentLanguageCode, "de");

  Load("1\nEnglish\nen\nStop\n", "en");
  EXPECT_EQ(Columns(), 1u) << "one language is also the base";
  EXPECT_EQ(TranslateText("Stop"), "Stop");
}

TEST(LanguageCodeOf, MapsTheLanguagePartOfALocale) {
  const std::pair<const char*, const char*> cases[] = {
      {"zh_CN.UTF-8", "cn"}, {"ja_JP", "jp"}, {"ko", "kr"},    {"de_DE@euro", "de"},
      {"pt_BR.UTF-8", "pt"}, {"fr:en", "fr"}, {"C", "en"},     {"POSIX", "en"},
      {"sv_SE", "en"},       {"", "en"},      {"EL_GR", "el"}, {"tr_TR", "tr"}};
  for (const auto& [locale, code] : cases) EXPECT_EQ(LanguageCodeOf(locale), code) << locale;
}

TEST_F(CatalogueTest, FoundBesideTheProgramElseInTheInstalledShareFolder) {
  const std::string bin = tree.Dir("prefix/bin");
  const std::string beside = platform::JoinedPath(bin, "transl.dt");
  EXPECT_EQ(CatalogueFileFor(bin), beside) << "neither: the usual place, for the message";
  tree.File("prefix/share/orvanta/transl.dt", "1\nEnglish\nen\n");
  const std::string installed = CatalogueFileFor(bin);
  EXPECT_EQ(installed, platform::JoinedPath(bin, "../share/orvanta/transl.dt"));
  LoadTranslationsFrom(installed, std::nullopt, "en");
  EXPECT_EQ(Columns(), 1u);
  tree.File("prefix/bin/transl.dt", "1\nEnglish\nen\n");
  EXPECT_EQ(CatalogueFileFor(bin), beside);
}

TEST(LanguageCodes, DirectionAndToolkitLocaleName) {
  const std::tuple<const char*, bool, const char*> cases[] = {
      {"ar", true, "ar"},     {"AR", true, "AR"},  {"jp", false, "ja"}, {"KR", false, "ko"},
      {"cn", false, "zh_CN"}, {"de", false, "de"}, {"en", false, "en"}, {"el", false, "el"}};
  for (const auto& [code, rightToLeft, locale] : cases) {
    EXPECT_EQ(IsRightToLeftLanguage(code), rightToLeft) << code;
    EXPECT_EQ(LocaleNameOfCode(code), locale) << code;
  }
}

// The catalogue that ships beside the programs speaks every language the
// system's language may map to: none of them falls back to English.
TEST_F(CatalogueTest, ShippedCatalogueHasAColumnForEveryMappedCode) {
  const std::string shipped = platform::JoinedPath(platform::ExecutableFolder(), "transl.dt");
  std::set<std::string> codes;
  for (unsigned id = 0; id < 0x400; ++id) codes.insert(LanguageCodeOfLanguageId(id));
  for (const char* locale : {"ar_EG", "zh_CN", "cs_CZ", "de_DE", "el_GR", "es_ES", "fr_FR", "hu_HU", "it_IT", "ja_JP",
                             "ko_KR", "nl_NL", "pl_PL", "pt_BR", "tr_TR"}) {
    codes.insert(LanguageCodeOf(locale));
  }
  EXPECT_EQ(codes.size(), 16u);
  for (const std::string& code : codes) {
    LoadTranslationsFrom(shipped, code, "en");
    ASSERT_EQ(Columns(), 16u) << shipped;
    EXPECT_EQ(LanguageCodeInForce(), code);
    EXPECT_EQ(Index() > 0, code != "en") << code;
    if (code != "en") {
      EXPECT_NE(TranslateText("Scan"), "Scan") << code;
    }
  }
  LoadTranslationsFrom(tree.Path("none"), "de", "en");
  EXPECT_EQ(LanguageCodeInForce(), "en") << "no catalogue: English in force";
}

#ifndef _WIN32
// The settings file: POSIX only. On Windows the settings live in the user's
// registry, which this test would change; the Windows tests restore it.
TEST(Settings, StoredLanguageSurvivesAndOtherLinesStay) {
  test::TempTree tree;
  const test::ScopedEnvironmentVariable configHome("XDG_CONFIG_HOME", tree.Path("config"));

  EXPECT_EQ(platform::ReadSetting("CurrentLanguage"), std::nullopt);
  ASSERT_TRUE(platform::WriteSetting("CurrentLanguage", "de"));
  EXPECT_EQ(platform::ReadSetting("CurrentLanguage"), "de");
  tree.File("config/Orvanta/Orvanta.conf", "[General]\nOther=1\nCurrentLanguage=de\n\n[Window]\nCurrentLanguage=xx\n");
  ASSERT_TRUE(platform::WriteSetting("CurrentLanguage", "FR"));
  EXPECT_EQ(test::ReadFile(tree.Path("config/Orvanta/Orvanta.conf")),
            "[General]\nOther=1\nCurrentLanguage=FR\n\n[Window]\nCurrentLanguage=xx\n");
  EXPECT_EQ(platform::ReadSetting("CurrentLanguage"), "FR");
}
#endif

}  // namespace
}  // namespace orvanta
