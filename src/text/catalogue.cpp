#include "text/catalogue.h"

#include <climits>
#include <cstdlib>
#include <fstream>
#include <unordered_map>

#include "platform/platform.h"
#include "text/text_helpers.h"
#include "text/translate.h"

namespace orvanta {
namespace {

constexpr char kLanguageSetting[] = "CurrentLanguage";

struct State {
  Translations translations;
  // Key to its first entry: the first of two equal keys wins, as a search from the top would.
  std::unordered_map<std::string, std::size_t> entryOfKey;
};

State& TheState() {
  static State state;
  return state;
}

using Table = std::vector<std::vector<std::string>>;

// The catalogue's columns, one per language; nothing when the file is missing
// or its shape is wrong.
std::optional<Table> ReadTable(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return std::nullopt;
  const std::vector<std::string> lines = SplitLines(std::string((std::istreambuf_iterator<char>(in)), {}));
  if (lines.empty()) return std::nullopt;
  const std::optional<std::int64_t> n = DecimalInteger(lines[0]);
  if (!n || *n < 0 || *n > INT_MAX) return std::nullopt;
  if (*n == 0) return Table{};
  const std::size_t languages = static_cast<std::size_t>(*n);
  // Every column needs its name and its code, or the Language menu would offer a blank.
  if (lines.size() < 2 * languages + 1) return std::nullopt;
  const std::size_t entries = (lines.size() - 1) / languages;
  Table table(languages, std::vector<std::string>(entries));
  for (std::size_t c = 0; c < languages; ++c) {
    for (std::size_t k = 0; k < entries; ++k) table[c][k] = lines[1 + k * languages + c];
  }
  return table;
}

// Whether `text` from `x` on is what `templ` from `t` on makes, its values in `values`.
bool MatchTemplate(std::string_view templ, std::size_t t, std::string_view text, std::size_t x,
                   std::vector<std::string_view>& values) {
  if (t == templ.size()) return x == text.size();
  if (templ[t] == '%' && t + 1 < templ.size()) {
    const char specifier = templ[t + 1];
    if (specifier == '%') return x < text.size() && text[x] == '%' && MatchTemplate(templ, t + 2, text, x + 1, values);
    if (specifier == 'd' || specifier == 's') {
      std::size_t end = x;
      if (specifier == 'd') {
        if (end < text.size() && text[end] == '-') ++end;
        while (end < text.size() && text[end] >= '0' && text[end] <= '9') ++end;
        if (end == x || (end == x + 1 && text[x] == '-')) return false;
      } else {
        end = text.size();
      }
      // The shortest value first: "%s (%d)" takes the last bracket as the number's.
      for (std::size_t last = specifier == 'd' ? end : x; last <= end; ++last) {
        values.push_back(text.substr(x, last - x));
        if (MatchTemplate(templ, t + 2, text, last, values)) return true;
        values.pop_back();
      }
      return false;
    }
  }
  return x < text.size() && text[x] == templ[t] && MatchTemplate(templ, t + 1, text, x + 1, values);
}

std::string FillTemplate(std::string_view templ, const std::vector<std::string_view>& values) {
  std::string result;
  std::size_t next = 0;
  for (std::size_t i = 0; i < templ.size(); ++i) {
    const char specifier = i + 1 < templ.size() && templ[i] == '%' ? templ[i + 1] : '\0';
    if (specifier == '%') {
      result += '%';
      ++i;
    } else if ((specifier == 'd' || specifier == 's') && next < values.size()) {
      result += values[next++];
      ++i;
    } else {
      result += templ[i];
    }
  }
  return result;
}

}  // namespace

std::optional<std::string> TextInLanguage(std::string_view shown, int from, int to) {
  const Table& table = TheState().translations.table;
  const auto columns = static_cast<int>(table.size());
  if (from < 0 || to < 0 || from >= columns || to >= columns) return std::nullopt;
  const std::size_t first = shown.find_first_not_of(" \t");
  if (first == std::string_view::npos) return std::nullopt;
  const std::size_t last = shown.find_last_not_of(" \t");
  const std::string_view text = shown.substr(first, last + 1 - first);
  // An empty translation stands for the English text.
  auto entry = [&table](int column, std::size_t k) -> const std::string& {
    const std::string& text = table[static_cast<std::size_t>(column)][k];
    return text.empty() ? table[0][k] : text;
  };
  std::vector<std::string_view> values;
  for (const bool withValues : {false, true}) {
    for (std::size_t k = 2; k < table[0].size(); ++k) {
      const std::string& templ = entry(from, k);
      if ((templ.find('%') != std::string::npos) != withValues) continue;
      values.clear();
      if (MatchTemplate(templ, 0, text, 0, values)) {
        return std::string(shown.substr(0, first)) + FillTemplate(entry(to, k), values) +
               std::string(shown.substr(last + 1));
      }
    }
  }
  return std::nullopt;
}

const Translations& CurrentTranslations() { return TheState().translations; }

std::string TranslateText(std::string_view text) {
  const State& state = TheState();
  const int index = state.translations.currentLanguageIndex;
  if (index <= 0) return std::string(text);
  const auto it = state.entryOfKey.find(std::string(text));
  if (it == state.entryOfKey.end()) return std::string(text);
  const std::string& translation = state.translations.table[static_cast<std::size_t>(index)][it->second];
  return translation.empty() ? std::string(text) : translation;
}

void LoadTranslationsFrom(const std::string& catalogueFile, const std::optional<std::string>& storedCode,
                          const std::string& defaultCode) {
  State& state = TheState();
  state = State{};
  state.translations.currentLanguageCode = storedCode.value_or(defaultCode);
  std::optional<Table> table = ReadTable(catalogueFile);
  // A faulty or missing catalogue: English, without a word to the user.
  if (!table) return;
  state.translations.table = std::move(*table);
  const Table& columns = state.translations.table;
  for (std::size_t k = 0; !columns.empty() && k < columns[0].size(); ++k) {
    state.entryOfKey.try_emplace(columns[0][k], k);
  }
  for (std::size_t c = 0; c < columns.size(); ++c) {
    if (EqualIgnoringAsciiCase(columns[c][1], state.translations.currentLanguageCode)) {
      state.translations.currentLanguageIndex = static_cast<int>(c);
      break;
    }
  }
}

std::string CatalogueFileFor(const std::string& executableFolder) {
  const std::string beside = platform::JoinedPath(executableFolder, "transl.dt");
  if (platform::FileExists(beside)) return beside;
  const std::string installed = platform::JoinedPath(executableFolder, "../share/orvanta/transl.dt");
  return platform::FileExists(installed) ? installed : beside;
}

void LoadTranslations() {
  LoadTranslationsFrom(CatalogueFileFor(platform::ExecutableFolder()), platform::ReadSetting(kLanguageSetting),
                       DefaultLanguageCode());
}

std::string LanguageCodeOf(std::string_view localeName) {
  const auto end = localeName.find_first_of("_.@:-");
  const std::string language = AsciiLowerCase(localeName.substr(0, end));
  static const std::unordered_map<std::string, std::string> kCodes = {
      {"ar", "ar"}, {"zh", "cn"}, {"cs", "cs"}, {"de", "de"}, {"el", "el"}, {"es", "es"}, {"fr", "fr"}, {"hu", "hu"},
      {"it", "it"}, {"ja", "jp"}, {"ko", "kr"}, {"nl", "nl"}, {"pl", "pl"}, {"pt", "pt"}, {"tr", "tr"}};
  const auto it = kCodes.find(language);
  return it == kCodes.end() ? "en" : it->second;
}

std::string LanguageCodeOfLanguageId(unsigned languageId) {
  // The low 8 bits, not the 10-bit primary-language mask: the codes were chosen so.
  switch (languageId & 0xFF) {
    case 0x01: return "ar";
    case 0x04: return "cn";
    case 0x05: return "cs";
    case 0x07: return "de";
    case 0x08: return "el";
    case 0x0A: return "es";
    case 0x0C: return "fr";
    case 0x0E: return "hu";
    case 0x10: return "it";
    case 0x11: return "jp";
    case 0x12: return "kr";
    case 0x13: return "nl";
    case 0x15: return "pl";
    case 0x16: return "pt";
    case 0x1F: return "tr";
    default: return "en";
  }
}

std::string DefaultLanguageCode() {
  if (const std::optional<unsigned> id = platform::SystemLanguageId()) return LanguageCodeOfLanguageId(*id);
  for (const char* variable : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(variable);
    if (value != nullptr && value[0] != '\0') return LanguageCodeOf(value);
  }
  return "en";
}

std::string LanguageCodeInForce() {
  const Translations& translations = TheState().translations;
  if (translations.table.empty()) return "en";
  return translations.table[static_cast<std::size_t>(translations.currentLanguageIndex)][1];
}

bool IsRightToLeftLanguage(std::string_view code) { return EqualIgnoringAsciiCase(code, "ar"); }

std::string LocaleNameOfCode(std::string_view code) {
  if (EqualIgnoringAsciiCase(code, "jp")) return "ja";
  if (EqualIgnoringAsciiCase(code, "kr")) return "ko";
  if (EqualIgnoringAsciiCase(code, "cn")) return "zh_CN";
  return std::string(code);
}

void SelectLanguage(int index) {
  Translations& translations = TheState().translations;
  if (index < 0 || static_cast<std::size_t>(index) >= translations.table.size()) return;
  translations.currentLanguageIndex = index;
  translations.currentLanguageCode = translations.table[static_cast<std::size_t>(index)][1];
  SaveCurrentLanguage();
}

void SaveCurrentLanguage() { platform::WriteSetting(kLanguageSetting, TheState().translations.currentLanguageCode); }

}  // namespace orvanta
