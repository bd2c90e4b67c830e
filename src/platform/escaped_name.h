// A name as a reason may carry it to a terminal, shared by both halves of the
// platform: what the name says stays readable, nothing in it steers the terminal.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace orvanta::platform {

// Control characters (C0, DEL and C1), bytes that are not well-formed UTF-8
// and the backslash itself as \xHH, each byte of them; the rest as it is.
inline std::string EscapedName(std::string_view name) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  const auto byte = [&name](std::size_t at) { return static_cast<std::uint8_t>(name[at]); };
  for (std::size_t i = 0; i < name.size();) {
    const std::uint8_t lead = byte(i);
    // The length of a well-formed sequence starting here, and its code point.
    std::size_t length = lead < 0x80                    ? 1
                         : lead >= 0xC2 && lead <= 0xDF ? 2
                         : lead >= 0xE0 && lead <= 0xEF ? 3
                         : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                        : 0;
    std::uint32_t code = length == 1 ? lead : lead & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k) {
      if (i + k >= name.size() || (byte(i + k) & 0xC0) != 0x80) {
        length = 0;
        break;
      }
      code = code << 6 | (byte(i + k) & 0x3F);
    }
    const bool wellFormed = length == 1 || (length == 2) ||
                            (length == 3 && code >= 0x800 && (code < 0xD800 || code > 0xDFFF)) ||
                            (length == 4 && code >= 0x10000 && code <= 0x10FFFF);
    if (wellFormed && code >= 0x20 && code != 0x7F && code != '\\' && (code < 0x80 || code > 0x9F)) {
      out.append(name.substr(i, length));
      i += length;
      continue;
    }
    for (const std::size_t end = i + (wellFormed ? length : 1); i < end; ++i) {
      out += {'\\', 'x', kHex[byte(i) >> 4], kHex[byte(i) & 0x0F]};
    }
  }
  return out;
}

}  // namespace orvanta::platform
