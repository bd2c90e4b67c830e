// File masks: the list the user types and matching a name against one mask.
#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace orvanta {

// Splits the masks text at ",", ";", "|" and blanks; never empty ("*.*" when
// nothing is left). A quoted item keeps its separators.
std::vector<std::string> ParseMasks(std::string_view text);
// The same split, empty when nothing is left (the folder patterns' text).
std::vector<std::string> ParseMaskList(std::string_view text);

class MaskError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// One mask, checked and compiled once per walk; MaskError says what is wrong
// with it, translated, without repeating the mask. "*.*" matches every name;
// otherwise the whole name must match: "*" any run, "?" one character,
// "[a-f]" / "[!a-f]" one character in / outside a set. Letters a-z match
// their capitals; every other character only itself.
class FileMask {
 public:
  explicit FileMask(std::string_view mask);  // throws MaskError for a malformed or invalid mask
  bool Matches(std::string_view name) const;

 private:
  enum class Kind : std::uint8_t { Literal, AnyRun, AnyOne, Set };
  struct Token {
    Kind kind;
    bool negated = false;
    std::string literal;                                // Literal
    std::vector<std::pair<char32_t, char32_t>> ranges;  // Set
  };
  bool MatchToken(const Token& token, std::string_view name, std::size_t at, std::size_t& length) const;

  bool matchesAll_ = false;
  std::vector<Token> tokens_;
};

// The masks of a masks text: those that choose files, and those written with
// a leading "!" that leave files out (the "!" dropped). Files are chosen by
// "*.*" when only masks that leave out are given.
struct MaskSet {
  std::vector<std::string> include, exclude;
};
MaskSet SplitMasks(std::string_view text);

// The folders the walks do not enter: those whose name matches a pattern (a
// mask, matched as file masks are) and, unless asked to scan them, the trash
// folders (platform::IsTrashFolder).
class FolderExclusions {
 public:
  FolderExclusions() = default;
  // Throws MaskError for a malformed pattern, its text naming the pattern.
  FolderExclusions(const std::vector<std::string>& patterns, bool skipTrash);
  // `parent` gives the path of the folder that lists the entry `name`; it is
  // asked only where the name could be a trash folder's.
  bool Excludes(const std::function<std::string()>& parent, std::string_view name) const;

 private:
  std::vector<FileMask> patterns_;
  bool skipTrash_ = false;
};

}  // namespace orvanta
