#include "platform/wtf8.h"

namespace platform {

// A lead byte C2 to F4 takes one to three continuation bytes; the value
// they give must need them all (no overlong form), stay within U+10FFFF
// and, when strict, not be a surrogate. C0 and C1 could only start an
// overlong form.
Decoded decode_utf8(std::string_view text, bool strict) noexcept {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned lead = byte(0);
  if (lead < 0x80) return {lead, 1, true};
  if (lead < 0xC2 || lead > 0xF4) return {0xFFFD, 1, false};
  const std::size_t more = 1U + (lead >= 0xE0) + (lead >= 0xF0);
  char32_t point = lead & (0x3FU >> more);
  std::size_t i = 1;
  for (; i <= more; ++i) {
    if (i == text.size() || (byte(i) & 0xC0) != 0x80) return {0xFFFD, i, false};
    point = (point << 6) | (byte(i) & 0x3F);
  }
  // The smallest value of 3 and 4 bytes; 2 bytes from C2 on are never overlong.
  const bool valid =
      point >= (1U << (5 * more + 1)) && point <= 0x10FFFF && !(strict && point - 0xD800 < 0x800);
  return {valid ? point : 0xFFFD, i, valid};
}

// The lead byte carries n - 1 ones after the first, then the value's top bits.
std::size_t encode_utf8(char32_t point, char* out) noexcept {
  if (point < 0x80) {
    out[0] = static_cast<char>(point);
    return 1;
  }
  const std::size_t n = point < 0x800 ? 2 : point < 0x10000 ? 3 : 4;
  for (std::size_t i = n - 1; i > 0; --i) {
    out[i] = static_cast<char>(0x80 | (point & 0x3F));
    point >>= 6;
  }
  out[0] = static_cast<char>(((0xF00U >> n) & 0xFF) | point);
  return n;
}

bool is_utf8(std::string_view text) noexcept {
  while (!text.empty()) {
    const Decoded read = decode_utf8(text, true);
    if (!read.valid) return false;
    text.remove_prefix(read.length);
  }
  return true;
}

}  // namespace platform
