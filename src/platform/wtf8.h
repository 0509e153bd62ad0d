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

// One character read from the front of `text`: its code point (a lone
// surrogate's value included) and how many bytes it took. Bytes that are
// not UTF-8 (a stray or missing continuation byte, an overlong form, a
// value past U+10FFFF) read as U+FFFD, taking a lead byte with as many of
// its continuation bytes as follow it, or a stray byte alone: never as
// ASCII, so that an overlong '"' or '\' stays harmless. With `strict`, a surrogate's three
// bytes are not UTF-8 either. `text` is not empty.
struct Decoded {
  char32_t point;
  std::size_t length;
  bool valid;
};
[[nodiscard]] Decoded decode_utf8(std::string_view text, bool strict) noexcept;

// Writes the UTF-8 bytes of `point` (at most 4) at `out`; returns how many.
std::size_t encode_utf8(char32_t point, char* out) noexcept;

// True when `text` is UTF-8 as a file may hold it: no lone surrogates.
[[nodiscard]] bool is_utf8(std::string_view text) noexcept;

constexpr bool is_high_surrogate(char32_t unit) noexcept { return unit - 0xD800 < 0x400; }
constexpr bool is_low_surrogate(char32_t unit) noexcept { return unit - 0xDC00 < 0x400; }

// `count` units of UTF-16 as WTF-8 into `buf`, by the rule of platform.h
// (the whole text's length in bytes); a text cut short ends on a whole
// character.
template <typename Unit>
std::size_t wtf8_from_utf16(const Unit* units, std::size_t count, char* buf,
                            std::size_t capacity) noexcept {
  std::size_t length = 0;  // of the whole text
  std::size_t kept = 0;    // bytes written; equal to length until one does not fit
  char bytes[4];
  for (std::size_t i = 0; i < count; ++i) {
    char32_t point = static_cast<char16_t>(units[i]);
    if (is_high_surrogate(point) && i + 1 < count && is_low_surrogate(char16_t(units[i + 1])))
      point = 0x10000 + ((point - 0xD800) << 10) + (static_cast<char16_t>(units[++i]) - 0xDC00);
    const std::size_t n = encode_utf8(point, bytes);
    if (kept == length && fits(length + n, capacity))
      for (std::size_t j = 0; j < n; ++j) buf[kept++] = bytes[j];
    length += n;
  }
  if (capacity > 0) buf[kept] = '\0';
  return length;
}

// WTF-8 (or any bytes) as UTF-16 into `buf` of `capacity` units, by the
// rule of platform.h in units. What is not UTF-8 reads as decode_utf8 says.
template <typename Unit>
std::size_t utf16_from_wtf8(std::string_view text, Unit* buf, std::size_t capacity) noexcept {
  std::size_t length = 0;
  std::size_t kept = 0;
  while (!text.empty()) {
    const Decoded read = decode_utf8(text, false);
    text.remove_prefix(read.length);
    const bool pair = read.point > 0xFFFF;
    const std::size_t n = pair ? 2 : 1;
    if (kept == length && fits(length + n, capacity)) {
      if (pair) {
        buf[kept++] = static_cast<Unit>(0xD800 + ((read.point - 0x10000) >> 10));
        buf[kept++] = static_cast<Unit>(0xDC00 + (read.point & 0x3FF));
      } else {
        buf[kept++] = static_cast<Unit>(read.point);
      }
    }
    length += n;
  }
  if (capacity > 0) buf[kept] = Unit(0);
  return length;
}

}  // namespace platform
