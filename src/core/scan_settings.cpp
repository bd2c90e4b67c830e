#include "core/scan_settings.h"

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
  return DecimalInteger(text).value_or(fallback);
}

}  // namespace orvanta
