#include "text/text_helpers.h"

#include <algorithm>

namespace orvanta {

std::string AsciiLowerCase(std::string_view text) {
  std::string result(text);
  for (char& c : result) c = AsciiLower(c);
  return result;
}

bool EqualIgnoringAsciiCase(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](char x, char y) { return AsciiLower(x) == AsciiLower(y); });
}

bool AsciiCaseLess(std::string_view a, std::string_view b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return AsciiUpper(static_cast<unsigned char>(x)) < AsciiUpper(static_cast<unsigned char>(y));
  });
}

std::string_view TrimBlanks(std::string_view text) {
  auto blank = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

std::vector<std::string> SplitLines(std::string_view body) {
  constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
  if (body.starts_with(kByteOrderMark)) body.remove_prefix(kByteOrderMark.size());
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t i = 0; i < body.size(); ++i) {
    if (body[i] != '\r' && body[i] != '\n') continue;
    lines.emplace_back(body.substr(start, i - start));
    if (body[i] == '\r' && i + 1 < body.size() && body[i + 1] == '\n') ++i;
    start = i + 1;
  }
  if (start < body.size()) lines.emplace_back(body.substr(start));
  return lines;
}

}  // namespace orvanta
