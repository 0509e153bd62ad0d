// The boundary codec, judged by the C library's own iconv where the text is
// valid and by round trips everywhere.
#include "platform/wtf8.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <optional>
#include <random>
#include <string>

namespace {

using platform::utf16_from_wtf8;
using platform::wtf8_from_utf16;

// Room for the whole text unless a capacity is given.
std::string to_wtf8(const std::u16string& units, std::size_t capacity = 0) {
  if (capacity == 0) capacity = 3 * units.size() + 1;
  std::string out(capacity, '\xAA');
  const std::size_t length = wtf8_from_utf16(units.data(), units.size(), out.data(), capacity);
  EXPECT_EQ(length, wtf8_from_utf16(units.data(), units.size(), nullptr, 0));
  return out.substr(0, out.find('\0'));
}

std::u16string to_utf16(const std::string& text, std::size_t capacity = 0) {
  if (capacity == 0) capacity = text.size() + 1;
  std::u16string out(capacity, u'\xAAAA');
  const std::size_t length = utf16_from_wtf8(text, out.data(), capacity);
  EXPECT_EQ(length, utf16_from_wtf8(text, static_cast<char16_t*>(nullptr), 0));
  return out.substr(0, out.find(u'\0'));
}

// The C library's conversion, or nothing where it refuses the input.
std::optional<std::string> iconv_text(const char* to, const char* from, const void* in,
                                      std::size_t size) {
  iconv_t cd = iconv_open(to, from);
  std::string out(4 * size + 4, '\0');
  char* src = const_cast<char*>(static_cast<const char*>(in));
  char* dst = out.data();
  std::size_t left = size;
  std::size_t room = out.size();
  const bool ok = iconv(cd, &src, &left, &dst, &room) != static_cast<std::size_t>(-1);
  iconv_close(cd);
  if (!ok) return std::nullopt;
  out.resize(out.size() - room);
  return out;
}

// Units of every length in UTF-8, a third of them surrogates (pairs or
// lone halves), NUL aside (it ends a string).
std::u16string random_units(std::mt19937& random) {
  std::u16string units(random() % 12, u'\0');
  for (char16_t& unit : units)
    unit =
        static_cast<char16_t>(random() % 3 == 0 ? 0xD800 + random() % 0x800
                                                : 1 + random() % (random() % 2 ? 0x7FF : 0xFFFE));
  return units;
}

TEST(Wtf8, EveryUnitAloneComesBack) {
  for (unsigned unit = 1; unit <= 0xFFFF; ++unit) {
    const std::u16string alone(1, static_cast<char16_t>(unit));
    ASSERT_EQ(to_utf16(to_wtf8(alone)), alone) << std::hex << unit;
  }
}

TEST(Wtf8, RandomTextComesBackAndValidTextIsExactlyItsUtf8) {
  std::mt19937 random(20261211);
  for (int round = 0; round < 200000; ++round) {
    const std::u16string units = random_units(random);
    const std::string text = to_wtf8(units);
    ASSERT_EQ(to_utf16(text), units);
    // The C library refuses a lone surrogate, as a file's UTF-8 must.
    const auto utf8 = iconv_text("UTF-8", "UTF-16LE", units.data(), 2 * units.size());
    ASSERT_EQ(platform::is_utf8(text), utf8.has_value());
    if (utf8) {
      ASSERT_EQ(text, *utf8);
    }
  }
}

// Whatever the bytes, only an ASCII byte gives an ASCII unit, and bytes
// the C library takes for UTF-8 give what it gives.
TEST(Wtf8, BytesThatAreNotUtf8NeverBecomeAscii) {
  std::mt19937 random(20261212);
  for (int round = 0; round < 200000; ++round) {
    std::string bytes(random() % 10, '\0');
    for (char& c : bytes) c = static_cast<char>(random() % 2 ? 0x80 + random() % 0x80 : random());
    std::erase(bytes, '\0');
    const std::u16string units = to_utf16(bytes);
    std::string ascii_in;
    std::string ascii_out;
    for (const char c : bytes)
      if (static_cast<unsigned char>(c) < 0x80) ascii_in.push_back(c);
    for (const char16_t u : units)
      if (u < 0x80) ascii_out.push_back(static_cast<char>(u));
    ASSERT_EQ(ascii_out, ascii_in);
    const auto utf16 = iconv_text("UTF-16LE", "UTF-8", bytes.data(), bytes.size());
    ASSERT_EQ(platform::is_utf8(bytes), utf16.has_value());
    if (utf16) {
      ASSERT_EQ(std::string(reinterpret_cast<const char*>(units.data()), 2 * units.size()), *utf16);
    }
  }
}

// Cut short, both ways give the longest run of whole characters that fits
// with its terminator (and answer the whole text's length, checked above).
TEST(Wtf8, CutTextEndsOnTheLastWholeCharacterThatFits) {
  const std::u16string units = u"a\u00E9\u4E2D\U0001F600\xD800z";
  const std::string whole = to_wtf8(units);
  const auto starts_character = [&](std::size_t i) {
    return i == whole.size() || (static_cast<unsigned char>(whole[i]) & 0xC0) != 0x80;
  };
  for (std::size_t capacity = 1; capacity <= whole.size() + 1; ++capacity) {
    std::size_t expected = capacity - 1;
    while (!starts_character(expected)) --expected;
    EXPECT_EQ(to_wtf8(units, capacity), whole.substr(0, expected)) << capacity;
    // A read cut at capacity - 1 bytes keeps the same whole characters.
    EXPECT_EQ(platform::whole_characters(std::string_view(whole).substr(0, capacity - 1)),
              expected);
  }
  for (std::size_t capacity = 1; capacity <= units.size() + 1; ++capacity) {
    std::size_t expected = capacity - 1;
    if (expected < units.size() && platform::is_low_surrogate(units[expected]) &&
        platform::is_high_surrogate(units[expected - 1]))
      --expected;
    EXPECT_EQ(to_utf16(whole, capacity), units.substr(0, expected)) << capacity;
  }
}

}  // namespace
