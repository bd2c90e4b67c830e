#include "text/json.h"

#include <cerrno>
#include <cstdlib>

#include "text/text_helpers.h"

namespace orvanta {

void AppendJsonString(std::string& json, std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  json.push_back('"');
  for (std::size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c == '"' || c == '\\') {
      json += {'\\', static_cast<char>(c)};
      ++i;
    } else if (c < 0x80 && c >= 0x20) {
      json.push_back(static_cast<char>(c));
      ++i;
    } else if (const std::size_t length = c >= 0x80 ? PrintableLength(text, i) : 0; length > 0) {
      json.append(text.substr(i, length));
      i += length;
    } else if (c < 0x80) {
      json += {'\\', 'u', '0', '0', kHex[c >> 4], kHex[c & 15]};
      ++i;
    } else if (c >= 0xC2 && c < 0xE0 && i + 1 < text.size() &&
               (static_cast<unsigned char>(text[i + 1]) & 0xC0) == 0x80) {
      // A C1 control character: valid UTF-8, escaped as its code point.
      const unsigned code = (c & 0x1Fu) << 6 | (static_cast<unsigned char>(text[i + 1]) & 0x3Fu);
      json += {'\\', 'u', '0', '0', kHex[code >> 4], kHex[code & 15]};
      i += 2;
    } else {
      json += {'\\', 'u', 'd', 'c', kHex[c >> 4], kHex[c & 15]};
      ++i;
    }
  }
  json.push_back('"');
}

const JsonValue* JsonValue::Find(std::string_view key) const {
  for (const auto& [name, value] : members) {
    if (name == key) return &value;
  }
  return nullptr;
}

namespace {

constexpr int kMaxDepth = 256;

class Parser {
 public:
  explicit Parser(std::string_view text) : text_(text) {}

  bool Document(JsonValue& value) {
    SkipBlanks();
    if (!Value(value, 0)) return false;
    SkipBlanks();
    return at_ == text_.size();
  }
  std::size_t Offset() const { return at_; }

 private:
  void SkipBlanks() {
    while (at_ < text_.size() && (text_[at_] == ' ' || text_[at_] == '\t' || text_[at_] == '\n' || text_[at_] == '\r'))
      ++at_;
  }
  bool Take(char c) {
    if (at_ < text_.size() && text_[at_] == c) {
      ++at_;
      return true;
    }
    return false;
  }
  bool Word(std::string_view word) {
    if (text_.substr(at_, word.size()) != word) return false;
    at_ += word.size();
    return true;
  }

  bool Value(JsonValue& value, int depth) {
    if (depth > kMaxDepth || at_ >= text_.size()) return false;
    switch (text_[at_]) {
      case '{': return Object(value, depth);
      case '[': return Array(value, depth);
      case '"': value.type = JsonValue::Type::String; return String(value.text);
      case 't':
        value.type = JsonValue::Type::Bool;
        value.boolean = true;
        return Word("true");
      case 'f': value.type = JsonValue::Type::Bool; return Word("false");
      case 'n': value.type = JsonValue::Type::Null; return Word("null");
      default: return Number(value);
    }
  }

  bool Object(JsonValue& value, int depth) {
    value.type = JsonValue::Type::Object;
    ++at_;
    SkipBlanks();
    if (Take('}')) return true;
    for (;;) {
      SkipBlanks();
      std::string key;
      if (at_ >= text_.size() || text_[at_] != '"' || !String(key)) return false;
      SkipBlanks();
      if (!Take(':')) return false;
      SkipBlanks();
      JsonValue member;
      if (!Value(member, depth + 1)) return false;
      value.members.emplace_back(std::move(key), std::move(member));
      SkipBlanks();
      if (Take('}')) return true;
      if (!Take(',')) return false;
    }
  }

  bool Array(JsonValue& value, int depth) {
    value.type = JsonValue::Type::Array;
    ++at_;
    SkipBlanks();
    if (Take(']')) return true;
    for (;;) {
      SkipBlanks();
      JsonValue item;
      if (!Value(item, depth + 1)) return false;
      value.items.push_back(std::move(item));
      SkipBlanks();
      if (Take(']')) return true;
      if (!Take(',')) return false;
    }
  }

  bool Hex4(unsigned& code) {
    if (at_ + 4 > text_.size()) return false;
    code = 0;
    for (int i = 0; i < 4; ++i) {
      const char c = text_[at_++];
      code <<= 4;
      if (c >= '0' && c <= '9') code |= static_cast<unsigned>(c - '0');
      else if (c >= 'a' && c <= 'f') code |= static_cast<unsigned>(c - 'a' + 10);
      else if (c >= 'A' && c <= 'F') code |= static_cast<unsigned>(c - 'A' + 10);
      else return false;
    }
    return true;
  }

  static void AppendUtf8(std::string& out, unsigned code) {
    if (code < 0x80) {
      out.push_back(static_cast<char>(code));
    } else if (code < 0x800) {
      out.push_back(static_cast<char>(0xC0 | code >> 6));
      out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | code >> 12));
      out.push_back(static_cast<char>(0x80 | (code >> 6 & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | code >> 18));
      out.push_back(static_cast<char>(0x80 | (code >> 12 & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (code >> 6 & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
  }

  bool String(std::string& out) {
    ++at_;  // the opening quote
    while (at_ < text_.size()) {
      const auto c = static_cast<unsigned char>(text_[at_]);
      if (c == '"') {
        ++at_;
        return true;
      }
      if (c < 0x20) return false;
      if (c != '\\') {
        out.push_back(static_cast<char>(c));
        ++at_;
        continue;
      }
      if (++at_ >= text_.size()) return false;
      const char escape = text_[at_++];
      switch (escape) {
        case '"': out.push_back('"'); break;
        case '\\': out.push_back('\\'); break;
        case '/': out.push_back('/'); break;
        case 'b': out.push_back('\b'); break;
        case 'f': out.push_back('\f'); break;
        case 'n': out.push_back('\n'); break;
        case 'r': out.push_back('\r'); break;
        case 't': out.push_back('\t'); break;
        case 'u': {
          unsigned code = 0;
          if (!Hex4(code)) return false;
          if (code >= 0xD800 && code < 0xDC00) {
            unsigned low = 0;
            if (!Word("\\u") || !Hex4(low) || low < 0xDC00 || low >= 0xE000) return false;
            AppendUtf8(out, 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00));
          } else if (code >= 0xDC80 && code < 0xDD00) {
            out.push_back(static_cast<char>(code - 0xDC00));  // a byte that is not UTF-8
          } else if (code >= 0xDC00 && code < 0xE000) {
            return false;
          } else {
            AppendUtf8(out, code);
          }
          break;
        }
        default: return false;
      }
    }
    return false;
  }

  bool Number(JsonValue& value) {
    value.type = JsonValue::Type::Number;
    const std::size_t start = at_;
    Take('-');
    if (Take('0')) {
    } else if (at_ < text_.size() && text_[at_] >= '1' && text_[at_] <= '9') {
      while (at_ < text_.size() && text_[at_] >= '0' && text_[at_] <= '9') ++at_;
    } else {
      return false;
    }
    bool integral = true;
    if (Take('.')) {
      integral = false;
      if (!Digits()) return false;
    }
    if (Take('e') || Take('E')) {
      integral = false;
      if (!Take('+')) Take('-');
      if (!Digits()) return false;
    }
    const std::string number(text_.substr(start, at_ - start));
    value.number = std::strtod(number.c_str(), nullptr);
    if (integral) {
      errno = 0;
      char* end = nullptr;
      const long long parsed = std::strtoll(number.c_str(), &end, 10);
      value.isInteger = errno == 0 && end == number.c_str() + number.size();
      value.integer = value.isInteger ? static_cast<std::int64_t>(parsed) : 0;
    }
    return true;
  }
  bool Digits() {
    const std::size_t start = at_;
    while (at_ < text_.size() && text_[at_] >= '0' && text_[at_] <= '9') ++at_;
    return at_ > start;
  }

  std::string_view text_;
  std::size_t at_ = 0;
};

}  // namespace

std::optional<JsonValue> ParseJson(std::string_view text, std::size_t& errorOffset) {
  Parser parser(text);
  JsonValue value;
  if (!parser.Document(value)) {
    errorOffset = parser.Offset();
    return std::nullopt;
  }
  errorOffset = 0;
  return value;
}

}  // namespace orvanta
