// Text at the Windows boundary: the system's wide strings (UTF-16) and the
// byte strings everything else works on (UTF-8), both ways. Windows lets a
// file name or an argument hold a lone surrogate, which UTF-8 cannot; it is
// kept as the three bytes UTF-8 would give its value (WTF-8), so that every
// wide string comes back exactly as it went in. Plain code over the unit
// type, so that it is tested natively with char16_t.
#pragma once

#include <cstddef>
#include <string_view>

#include "platform/platform.h"

namespace platform {

// What a byte that is not UTF-8 reads as: no character at all.
inline constexpr char32_t not_a_character = 0x110000;

// Reads one character from the front of `text` (not empty) and answers its
// code point, a lone surrogate's value included. Bytes that are not UTF-8
// (a stray or missing continuation byte, an overlong form, a value past
// U+10FFFF) answer not_a_character, taking a lead byte with as many of its
// continuation bytes as follow it, or a stray byte alone: never ASCII, so
// that an overlong '"' or '\' stays harmless.
[[nodiscard]] char32_t read_utf8(std::string_view& text) noexcept;

constexpr std::size_t utf8_size(char32_t point) noexcept {
  return point < 0x80 ? 1 : point < 0x800 ? 2 : point < 0x10000 ? 3 : 4;
}

// Writes the n == utf8_size(point) bytes of `point` at `out`.
void encode_utf8(char32_t point, std::size_t n, char* out) noexcept;

// True when `text` is UTF-8 as a file may hold it: no lone surrogates.
[[nodiscard]] bool is_utf8(std::string_view text) noexcept;

// The length of `text` without a character cut short at its end: a lead
// byte, within the last three, of more bytes than follow it.
[[nodiscard]] std::size_t whole_characters(std::string_view text) noexcept;

constexpr bool is_high_surrogate(char32_t unit) noexcept { return unit - 0xD800 < 0x400; }
constexpr bool is_low_surrogate(char32_t unit) noexcept { return unit - 0xDC00 < 0x400; }

// `count` units of UTF-16 as WTF-8 into `buf`, by the rule of platform.h
// (the whole text's length in bytes); a text cut short ends on a whole
// character.
template <typename Unit>
std::size_t wtf8_from_utf16(const Unit* units, std::size_t count, char* buf,
                            std::size_t capacity) noexcept {
  std::size_t length = 0;  // of the whole text
  std::size_t kept = 0;    // written: once a character does not fit, no later one does
  for (std::size_t i = 0; i < count; ++i) {
    char32_t point = static_cast<char16_t>(units[i]);
    // A pair: (high - 0xD800) << 10 + (low - 0xDC00) + 0x10000.
    if (is_high_surrogate(point) && i + 1 < count && is_low_surrogate(char16_t(units[i + 1])))
      point = (point << 10) + static_cast<char16_t>(units[++i]) - 0x35FDC00;
    const std::size_t n = utf8_size(point);
    if (fits(length + n, capacity)) {
      encode_utf8(point, n, buf + length);
      kept = length + n;
    }
    length += n;
  }
  if (capacity > 0) buf[kept] = '\0';
  return length;
}

// WTF-8 (or any bytes) as UTF-16 into `buf` of `capacity` units, by the
// rule of platform.h in units. What is not UTF-8 gives U+FFFD.
template <typename Unit>
std::size_t utf16_from_wtf8(std::string_view text, Unit* buf, std::size_t capacity) noexcept {
  std::size_t length = 0;
  std::size_t kept = 0;  // as above
  while (!text.empty()) {
    char32_t point = read_utf8(text);
    if (point == not_a_character) point = 0xFFFD;
    const std::size_t n = point > 0xFFFF ? 2 : 1;
    if (fits(length + n, capacity)) {
      kept = length;
      if (n == 2) {
        // 0xD800 + (point - 0x10000) >> 10, then the low ten bits.
        buf[kept++] = static_cast<Unit>(0xD7C0 + (point >> 10));
        point = 0xDC00 + (point & 0x3FF);
      }
      buf[kept++] = static_cast<Unit>(point);
    }
    length += n;
  }
  if (capacity > 0) buf[kept] = Unit(0);
  return length;
}

}  // namespace platform
