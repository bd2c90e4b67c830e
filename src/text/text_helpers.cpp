#include "text/text_helpers.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>

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

std::optional<std::int64_t> DecimalInteger(std::string_view text) {
  text = TrimBlanks(text);
  // from_chars takes a minus but no plus.
  if (text.size() > 1 && text.front() == '+' && text[1] != '-') text.remove_prefix(1);
  std::int64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

std::string UtcTimestamp(std::int64_t unixNanoseconds) {
  using namespace std::chrono;
  const sys_time<nanoseconds> time{nanoseconds(unixNanoseconds)};
  const sys_days day = floor<days>(time);
  const year_month_day date(day);
  const hh_mm_ss<nanoseconds> clock(time - day);
  char text[48];
  int length = std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02lld", static_cast<int>(date.year()),
                             static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                             static_cast<int>(clock.hours().count()), static_cast<int>(clock.minutes().count()),
                             static_cast<long long>(clock.seconds().count()));
  if (clock.subseconds().count() != 0) {
    length += std::snprintf(text + length, sizeof text - static_cast<std::size_t>(length), ".%09lld",
                            static_cast<long long>(clock.subseconds().count()));
  }
  return std::string(text, static_cast<std::size_t>(length)) + 'Z';
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

// Length of the valid UTF-8 sequence at text[at] that is no control character; 0 otherwise.
std::size_t PrintableLength(std::string_view text, std::size_t at) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  if (lead < 0x80) return lead >= 0x20 && lead != 0x7F ? 1 : 0;
  std::size_t length = lead >= 0xF0 && lead <= 0xF4 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 && lead < 0xE0 ? 2 : 0;
  if (length == 0 || at + length > text.size()) return 0;
  char32_t code = lead & (0x7F >> length);
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(at + i) & 0xC0) != 0x80) return 0;
    code = code << 6 | (byte(at + i) & 0x3F);
  }
  const bool overlong = (length == 3 && code < 0x800) || (length == 4 && code < 0x10000);
  const bool c1Control = code >= 0x80 && code < 0xA0;
  const bool invalid = code > 0x10FFFF || (code >= 0xD800 && code < 0xE000);
  return overlong || c1Control || invalid ? 0 : length;
}

std::string TerminalSafePath(std::string_view path, PathQuoting quoting) {
  std::size_t at = 0;
  while (at < path.size()) {
    const std::size_t length = PrintableLength(path, at);
    if (length == 0) break;
    at += length;
  }
  if (at == path.size() && quoting == PathQuoting::WhenNeeded) return std::string(path);
  // Printable runs in '...', the others in $'...' with C escapes, as a POSIX shell reads them back.
  std::string quoted;
  for (std::size_t i = 0; i < path.size();) {
    quoted += "'";
    for (std::size_t length; i < path.size() && (length = PrintableLength(path, i)) > 0; i += length) {
      if (path[i] == '\'') {
        quoted += "'\\''";
      } else {
        quoted.append(path.substr(i, length));
      }
    }
    quoted += "'";
    if (i == path.size()) break;
    quoted += "$'";
    for (; i < path.size() && PrintableLength(path, i) == 0; ++i) {
      const auto c = static_cast<unsigned char>(path[i]);
      switch (c) {
        case '\a': quoted += "\\a"; break;
        case '\b': quoted += "\\b"; break;
        case '\t': quoted += "\\t"; break;
        case '\n': quoted += "\\n"; break;
        case '\v': quoted += "\\v"; break;
        case '\f': quoted += "\\f"; break;
        case '\r': quoted += "\\r"; break;
        case 0x1B: quoted += "\\E"; break;
        default:
          quoted += {'\\', static_cast<char>('0' + (c >> 6)), static_cast<char>('0' + (c >> 3 & 7)),
                     static_cast<char>('0' + (c & 7))};
      }
    }
    quoted += "'";
  }
  // Drop the empty '' a path starting with an escape opened with.
  if (quoted.rfind("''", 0) == 0) quoted.erase(0, 2);
  return quoted.empty() ? "''" : quoted;
}

}  // namespace orvanta
