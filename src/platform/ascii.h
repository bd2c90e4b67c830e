// ASCII-only case mapping: file-system and catalogue rules that fold only the
// 26 Latin letters, whatever the locale, and leave every other byte alone.
#pragma once

namespace orvanta {

template <typename Char>
constexpr Char AsciiLower(Char c) {
  return c >= Char('A') && c <= Char('Z') ? static_cast<Char>(c + (Char('a') - Char('A'))) : c;
}

template <typename Char>
constexpr Char AsciiUpper(Char c) {
  return c >= Char('a') && c <= Char('z') ? static_cast<Char>(c - (Char('a') - Char('A'))) : c;
}

}  // namespace orvanta
