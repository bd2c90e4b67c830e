// JSON as this program writes and reads it: its listings, its saved results
// and the record of the last removal. Paths are bytes: those that are not
// UTF-8 are written as \udcXX (as Python's surrogateescape, so os.fsencode
// gives the exact name back) and read back to the same byte, which general
// JSON libraries refuse as a lone surrogate.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace orvanta {

// Appends the text as a JSON string: valid printable UTF-8 as it is, control
// characters (C0 and C1) as \u00XX, every other byte as \udcXX.
void AppendJsonString(std::string& json, std::string_view text);

struct JsonValue {
  enum class Type { Null, Bool, Number, String, Array, Object };
  Type type = Type::Null;
  bool boolean = false;
  // A number without fraction or exponent that fits: exact in `integer`.
  bool isInteger = false;
  std::int64_t integer = 0;
  double number = 0;
  std::string text;
  std::vector<JsonValue> items;
  std::vector<std::pair<std::string, JsonValue>> members;  // in the order written

  // The member of an object by its key (the first of that key); null when absent.
  const JsonValue* Find(std::string_view key) const;
  bool IsString() const { return type == Type::String; }
  bool IsArray() const { return type == Type::Array; }
  bool IsObject() const { return type == Type::Object; }
};

// Parses a whole document. On malformed input (also nesting deeper than a
// few hundred levels, or anything after the value) returns nothing and sets
// `errorOffset` to the byte where reading failed.
std::optional<JsonValue> ParseJson(std::string_view text, std::size_t& errorOffset);

}  // namespace orvanta
