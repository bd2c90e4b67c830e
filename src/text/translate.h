#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <variant>

namespace orvanta {

// The current language's text for an English interface text; the text itself
// while no catalogue is loaded, for the first language, for a text the
// catalogue lacks and for an empty translation.
std::string TranslateText(std::string_view text);

// Fills a (translated) template: each "%d" or "%s" takes the next argument in
// order, "%%" gives "%". A specifier without an argument stays as written, so
// a faulty catalogue line can never read past the arguments.
using FormatArg = std::variant<std::int64_t, std::string_view>;
std::string FormatText(std::string_view templ, std::initializer_list<FormatArg> args);

}  // namespace orvanta
