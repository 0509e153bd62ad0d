#include "platform/wtf8.h"

namespace platform {

// A lead byte C2 to F4 takes one to three continuation bytes; the value
// they give must need them all (no overlong form; C0 and C1 could only
// start one) and stay within U+10FFFF.
char32_t read_utf8(std::string_view& text) noexcept {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned lead = byte(0);
  if (lead < 0x80) {
    text.remove_prefix(1);
    return lead;
  }
  const std::size_t more = lead < 0xC2 || lead > 0xF4 ? 0 : 1U + (lead >= 0xE0) + (lead >= 0xF0);
  char32_t point = lead & (0x3FU >> more);
  std::size_t i = 1;
  while (i <= more && i < text.size() && (byte(i) & 0xC0) == 0x80)
    point = (point << 6) | (byte(i++) & 0x3F);
  text.remove_prefix(i);
  // The smallest value of 3 and 4 bytes; 2 bytes from C2 on are never overlong.
  const bool valid =
      more > 0 && i == more + 1 && point >= (1U << (5 * more + 1)) && point <= 0x10FFFF;
  return valid ? point : not_a_character;
}

// The lead byte carries n - 1 ones after the first, then the value's top bits.
// Out of line: inlined, it costs the Windows programs more bytes.
[[gnu::noinline]] void encode_utf8(char32_t point, std::size_t n, char* out) noexcept {
  for (std::size_t i = n - 1; i > 0; --i) {
    out[i] = static_cast<char>(0x80 | (point & 0x3F));
    point >>= 6;
  }
  out[0] = static_cast<char>((n == 1 ? 0 : (0xF00U >> n) & 0xFF) | point);
}

std::size_t whole_characters(std::string_view text) noexcept {
  for (std::size_t back = 1; back <= 3 && back <= text.size(); ++back) {
    const auto byte = static_cast<unsigned char>(text[text.size() - back]);
    if (byte < 0xC0 && byte >= 0x80) continue;  // a continuation byte
    const std::size_t size = byte < 0xC0 ? 1 : byte < 0xE0 ? 2 : byte < 0xF0 ? 3 : 4;
    return size > back ? text.size() - back : text.size();
  }
  return text.size();
}

bool is_utf8(std::string_view text) noexcept {
  while (!text.empty()) {
    const char32_t point = read_utf8(text);
    if (point == not_a_character || point - 0xD800 < 0x800) return false;
  }
  return true;
}

}  // namespace platform
