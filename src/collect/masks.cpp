#include "collect/masks.h"

#include <algorithm>

#include "platform/platform.h"
#include "text/text_helpers.h"
#include "text/translate.h"

namespace orvanta {
namespace {

// Decodes one character at `at`: a valid UTF-8 sequence, or else a single byte
// (so names that are not valid UTF-8 still match "?" and sets byte by byte).
char32_t DecodeAt(std::string_view s, std::size_t at, std::size_t& length) {
  const auto b0 = static_cast<unsigned char>(s[at]);
  length = 1;
  if (b0 < 0x80) return b0;
  const int extra = b0 >= 0xC2 && b0 <= 0xDF ? 1 : b0 >= 0xE0 && b0 <= 0xEF ? 2 : b0 >= 0xF0 && b0 <= 0xF4 ? 3 : 0;
  if (extra == 0 || at + static_cast<std::size_t>(extra) >= s.size()) return b0;
  char32_t c = b0 & (0x3F >> extra);
  for (int i = 1; i <= extra; ++i) {
    const auto b = static_cast<unsigned char>(s[at + i]);
    if ((b & 0xC0) != 0x80) return b0;
    c = (c << 6) | (b & 0x3F);
  }
  const bool overlong = (extra == 2 && c < 0x800) || (extra == 3 && c < 0x10000);
  if (overlong || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return b0;
  length = static_cast<std::size_t>(extra) + 1;
  return c;
}

}  // namespace

std::vector<std::string> ParseMasks(std::string_view text) {
  std::vector<std::string> masks = ParseMaskList(text);
  if (masks.empty()) masks.emplace_back("*.*");
  return masks;
}

std::vector<std::string> ParseMaskList(std::string_view text) {
  std::string s(text);
  std::replace(s.begin(), s.end(), ';', ',');
  std::replace(s.begin(), s.end(), ' ', ',');
  std::replace(s.begin(), s.end(), '|', ',');

  std::vector<std::string> masks;
  auto keep = [&masks](std::string_view item) {
    item = TrimBlanks(item);
    if (!item.empty()) masks.emplace_back(item);
  };
  std::size_t i = 0;
  while (i < s.size()) {
    if (s[i] == '"') {
      std::string item;
      ++i;
      while (i < s.size()) {
        if (s[i] == '"') {
          if (i + 1 < s.size() && s[i + 1] == '"') {
            item.push_back('"');
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        item.push_back(s[i++]);
      }
      keep(item);
      if (i < s.size() && s[i] == ',') ++i;
    } else {
      const auto comma = s.find(',', i);
      const auto end = comma == std::string::npos ? s.size() : comma;
      keep(std::string_view(s).substr(i, end - i));
      i = comma == std::string::npos ? s.size() : comma + 1;
    }
  }
  return masks;
}

FileMask::FileMask(std::string_view mask) {
  mask = TrimBlanks(mask);
  if (mask.empty()) throw MaskError(TranslateText("the mask is empty"));
  if (std::any_of(mask.begin(), mask.end(), platform::InvalidInFileName)) {
    throw MaskError(TranslateText("it holds a character no file name may hold"));
  }
  if (mask == "*.*") {
    matchesAll_ = true;
    return;
  }
  std::size_t i = 0;
  while (i < mask.size()) {
    const char c = mask[i];
    if (c == '*') {
      if (tokens_.empty() || tokens_.back().kind != Kind::AnyRun) tokens_.push_back(Token{Kind::AnyRun, false, {}, {}});
      ++i;
    } else if (c == '?') {
      tokens_.push_back(Token{Kind::AnyOne, false, {}, {}});
      ++i;
    } else if (c == '[') {
      Token set{Kind::Set, false, {}, {}};
      ++i;
      if (i < mask.size() && mask[i] == '!') {
        set.negated = true;
        ++i;
      }
      bool closed = false;
      while (i < mask.size()) {
        if (mask[i] == ']') {
          closed = true;
          ++i;
          break;
        }
        std::size_t length = 0;
        const char32_t low = DecodeAt(mask, i, length);
        i += length;
        char32_t high = low;
        if (i + 1 < mask.size() && mask[i] == '-' && mask[i + 1] != ']') {
          high = DecodeAt(mask, i + 1, length);
          i += 1 + length;
        }
        set.ranges.emplace_back(std::min(low, high), std::max(low, high));
      }
      if (!closed) throw MaskError(TranslateText("a set opened with '[' is not closed"));
      tokens_.push_back(std::move(set));
    } else {
      if (tokens_.empty() || tokens_.back().kind != Kind::Literal)
        tokens_.push_back(Token{Kind::Literal, false, {}, {}});
      tokens_.back().literal.push_back(AsciiLower(c));
      ++i;
    }
  }
}

bool FileMask::MatchToken(const Token& token, std::string_view name, std::size_t at, std::size_t& length) const {
  switch (token.kind) {
    case Kind::Literal: {
      const std::string& lit = token.literal;
      if (name.size() - at < lit.size()) return false;
      for (std::size_t k = 0; k < lit.size(); ++k) {
        if (AsciiLower(name[at + k]) != lit[k]) return false;
      }
      length = lit.size();
      return true;
    }
    case Kind::AnyOne: DecodeAt(name, at, length); return true;
    case Kind::Set: {
      const char32_t c = DecodeAt(name, at, length);
      const char32_t lower = AsciiLower(c), upper = AsciiUpper(c);
      bool inSet = false;
      for (const auto& [low, high] : token.ranges) {
        if ((c >= low && c <= high) || (lower >= low && lower <= high) || (upper >= low && upper <= high)) {
          inSet = true;
          break;
        }
      }
      return inSet != token.negated;
    }
    case Kind::AnyRun: break;
  }
  return false;
}

bool FileMask::Matches(std::string_view name) const {
  if (matchesAll_) return true;
  // Greedy matching that backtracks only to the last "*": linear in practice.
  std::size_t t = 0, n = 0;
  std::size_t starToken = std::string::npos, starName = 0;
  while (n < name.size()) {
    if (t < tokens_.size()) {
      if (tokens_[t].kind == Kind::AnyRun) {
        starToken = t++;
        starName = n;
        continue;
      }
      std::size_t length = 0;
      if (MatchToken(tokens_[t], name, n, length)) {
        n += length;
        ++t;
        continue;
      }
    }
    if (starToken == std::string::npos) return false;
    std::size_t step = 0;
    DecodeAt(name, starName, step);
    starName += step;
    n = starName;
    t = starToken + 1;
  }
  while (t < tokens_.size() && tokens_[t].kind == Kind::AnyRun) ++t;
  return t == tokens_.size();
}

MaskSet SplitMasks(std::string_view text) {
  MaskSet masks;
  for (std::string& mask : ParseMasks(text)) {
    if (mask.size() > 1 && mask.front() == '!') {
      masks.exclude.push_back(mask.substr(1));
    } else {
      masks.include.push_back(std::move(mask));
    }
  }
  if (masks.include.empty()) masks.include.emplace_back("*.*");
  return masks;
}

FolderExclusions::FolderExclusions(const std::vector<std::string>& patterns, bool skipTrash) : skipTrash_(skipTrash) {
  for (const std::string& pattern : patterns) {
    try {
      patterns_.emplace_back(pattern);
    } catch (const MaskError& error) {
      throw MaskError(
          FormatText(TranslateText("invalid folder pattern '%s': %s"), {pattern, std::string(error.what())}));
    }
  }
}

bool FolderExclusions::Excludes(const std::string& parent, std::string_view name) const {
  for (const FileMask& pattern : patterns_) {
    if (pattern.Matches(name)) return true;
  }
  return skipTrash_ && platform::IsTrashFolder(parent, name);
}

}  // namespace orvanta
