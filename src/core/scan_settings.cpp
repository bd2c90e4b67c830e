#include "core/scan_settings.h"

#include <charconv>

#include "text/text_helpers.h"

namespace orvanta {

CompareMode CompareModeFromIndex(int index) {
  switch (index) {
    case 0: return CompareMode::Name;
    case 1: return CompareMode::Size;
    case 2: return CompareMode::NameAndSize;
    default: return CompareMode::Content;
  }
}

std::int64_t ReadIntegerSetting(std::string_view text, std::int64_t fallback) {
  text = TrimBlanks(text);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  std::int64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) return fallback;
  return value;
}

}  // namespace orvanta
