// Small character helpers. One out-of-line copy: std::copy inlines a
// branch and a library call at every use, which adds up in the small
// Windows programs.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

template <typename Char>
[[gnu::noinline]] Char* copy_chars(Char* out, const Char* in, std::size_t n) noexcept {
  return std::char_traits<Char>::copy(out, in, n) + n;
}

// The text and a terminator; returns the terminator's place.
inline char* put_text(char* out, std::string_view text) noexcept {
  char* end = copy_chars(out, text.data(), text.size());
  *end = '\0';
  return end;
}

// The text in `size` characters of data: up to its first NUL, or all of
// them.
template <typename Char>
constexpr std::size_t text_length(const Char* data, std::size_t size) noexcept {
  std::size_t length = 0;
  while (length < size && data[length] != Char(0)) ++length;
  return length;
}

// The terminator the buffer rule of platform.h promises: after a text of
// `length` that fits `capacity`, else in the buffer's last byte.
inline void end_text(char* buf, std::size_t length, std::size_t capacity) noexcept {
  buf[length < capacity ? length : capacity - 1] = '\0';
}

// ASCII letters in lower case; every other byte as it is (no locale).
constexpr char ascii_lower(char c) noexcept {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}
