// The interface text catalogue (transl.dt beside the executable) and the
// choice of the language. Process-wide, used on the window's thread only.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvanta {

struct Translations {
  // One column per language; entry 0 its display name, entry 1 its code,
  // entries 2 and up the interface texts. Column 0 holds the English keys.
  std::vector<std::vector<std::string>> table;
  int currentLanguageIndex = 0;
  std::string currentLanguageCode;
};

const Translations& CurrentTranslations();

// Loads the catalogue file and chooses the language of the stored code, else
// of defaultCode, matched ignoring case. Any fault leaves the table empty and
// the English texts in force; nothing is reported.
void LoadTranslationsFrom(const std::string& catalogueFile, const std::optional<std::string>& storedCode,
                          const std::string& defaultCode);

// Where a program in executableFolder finds its catalogue: transl.dt beside
// it (a build tree, a Windows folder), else ../share/orvanta/transl.dt (an
// installed prefix); the first when neither exists.
std::string CatalogueFileFor(const std::string& executableFolder);

// Start-up's load: the catalogue of the running executable, the stored
// choice, the system language.
void LoadTranslations();

// The language code of the system language (Windows: GetSystemDefaultUILanguage;
// POSIX: LANGUAGE, LC_ALL, LC_MESSAGES, LANG, the first that is set): "de", "fr", "cn" for Chinese, "jp", "kr", ...;
// "en" for any language without a code of its own.
std::string DefaultLanguageCode();
std::string LanguageCodeOf(std::string_view localeName);
// The code for a Windows language identifier (LANGID).
std::string LanguageCodeOfLanguageId(unsigned languageId);

// The code of the language in force, as its catalogue column spells it; "en"
// when no catalogue is loaded.
std::string LanguageCodeInForce();
// Whether the language of a catalogue code is written right to left ("ar").
bool IsRightToLeftLanguage(std::string_view code);
// The locale name the toolkit's own translations use for a catalogue code:
// "ja" for "jp", "ko" for "kr", "zh_CN" for "cn" (any case), the others as they are.
std::string LocaleNameOfCode(std::string_view code);

// A text shown in language column `from` (an entry's text there, or a
// template of it filled by FormatText), as column `to` words that entry,
// filled with the same values; leading and trailing blanks stay as they were.
// Nothing when no entry makes the text. A text that several entries make is
// taken as the first of them with no value to fill, else the first.
std::optional<std::string> TextInLanguage(std::string_view shown, int from, int to);

// Makes column `index` current (the Language menu), and stores its code for the next start.
void SelectLanguage(int index);
void SaveCurrentLanguage();

}  // namespace orvanta
