// Small text rules shared by the engine: ASCII case folding, blank trimming,
// line splitting. One of each, so every caller folds and splits alike.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/ascii.h"

namespace orvanta {

std::string AsciiLowerCase(std::string_view text);
bool EqualIgnoringAsciiCase(std::string_view a, std::string_view b);
// Byte order after folding a-z to A-Z; a prefix sorts before the longer text.
bool AsciiCaseLess(std::string_view a, std::string_view b);

// Without the control characters and blanks (bytes up to ' ') at either end.
std::string_view TrimBlanks(std::string_view text);

// A body's lines: a leading UTF-8 byte-order mark skipped, split at CR LF, LF
// or CR. A final line break ends the last line instead of opening an empty one.
std::vector<std::string> SplitLines(std::string_view body);

}  // namespace orvanta
