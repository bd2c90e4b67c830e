// Small text rules shared by the engine: ASCII case folding, blank trimming,
// line splitting, the quoting of paths. One of each, so every caller folds,
// splits and quotes alike.
#pragma once

#include <cstdint>
#include <optional>
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

// The integer value of a text, read as every number the program is given
// (settings, the catalogue's count, the version line): decimal digits with an
// optional sign, blanks around them allowed; nothing for any other text or a
// value beyond 64 bits.
std::optional<std::int64_t> DecimalInteger(std::string_view text);

// RFC 3339 in UTC, "2026-12-11T04:40:48Z", with nine decimals of the second
// when it has a fraction ("...:48.250000000Z").
std::string UtcTimestamp(std::int64_t unixNanoseconds);

// A body's lines: a leading UTF-8 byte-order mark skipped, split at CR LF, LF
// or CR. A final line break ends the last line instead of opening an empty one.
std::vector<std::string> SplitLines(std::string_view body);

// Length of the valid UTF-8 sequence at text[at] that is no control character; 0 otherwise.
std::size_t PrintableLength(std::string_view text, std::size_t at);

enum class PathQuoting { WhenNeeded, Always };
// A path as a terminal may show it, and as every message and report names it:
// unchanged when it holds only printable characters (or in quotes, with
// Always), else quoted for a POSIX shell with the others as $'\n' style
// escapes, as ls does on a terminal. A name can no longer break a line or
// send escape sequences to the terminal.
std::string TerminalSafePath(std::string_view path, PathQuoting quoting = PathQuoting::WhenNeeded);

}  // namespace orvanta
