#include "text/translate.h"

namespace orvanta {

std::string FormatText(std::string_view templ, std::initializer_list<FormatArg> args) {
  std::string result;
  result.reserve(templ.size() + 32);
  auto next = args.begin();
  for (std::size_t i = 0; i < templ.size(); ++i) {
    const char c = templ[i];
    if (c != '%' || i + 1 == templ.size()) {
      result.push_back(c);
      continue;
    }
    const char specifier = templ[i + 1];
    if (specifier == '%') {
      result.push_back('%');
      ++i;
    } else if ((specifier == 'd' || specifier == 's') && next != args.end()) {
      if (const auto* number = std::get_if<std::int64_t>(&*next)) {
        result += std::to_string(*number);
      } else {
        result += std::get<std::string_view>(*next);
      }
      ++next;
      ++i;
    } else {
      result.push_back(c);
    }
  }
  return result;
}

}  // namespace orvanta
