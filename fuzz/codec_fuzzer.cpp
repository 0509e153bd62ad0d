// Arbitrary bytes are split; every token is quoted; the quoted forms,
// joined with single blanks, must split back to the same tokens. The same
// bytes, read as UTF-16 units, must come back from WTF-8 unchanged, and
// read as text, give an ASCII unit only for an ASCII byte.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "cmdline/cmdline.h"
#include "platform/wtf8.h"

namespace {

std::vector<std::string> split(std::string text) {
  text.push_back('\0');
  const cmdline::TokenList list = cmdline::split_command_line(text.data());
  if (list.count < 1) std::abort();
  std::vector<std::string> tokens;
  for (std::size_t i = 0; i < static_cast<std::size_t>(list.count); ++i)
    tokens.emplace_back(list.tokens[i]);
  return tokens;
}

void wide_round_trip(const std::uint8_t* data, std::size_t size) {
  std::u16string units(size / 2, u'\0');
  for (std::size_t i = 0; i < units.size(); ++i)
    units[i] = static_cast<char16_t>(data[2 * i] | data[2 * i + 1] << 8);
  std::string text(3 * units.size() + 1, '\0');
  const std::size_t length =
      platform::wtf8_from_utf16(units.data(), units.size(), text.data(), text.size());
  std::u16string back(units.size() + 1, u'\0');
  if (platform::utf16_from_wtf8({text.data(), length}, back.data(), back.size()) != units.size() ||
      back.compare(0, units.size(), units) != 0)
    std::abort();
}

void never_ascii(const std::string& text) {
  std::u16string units(text.size() + 1, u'\0');
  const std::size_t length = platform::utf16_from_wtf8(text, units.data(), units.size());
  std::string ascii;
  for (std::size_t i = 0; i < length; ++i)
    if (units[i] < 0x80) ascii.push_back(static_cast<char>(units[i]));
  std::string expected;
  for (const char c : text)
    if (static_cast<unsigned char>(c) < 0x80) expected.push_back(c);
  if (ascii != expected) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Text up to the first NUL, as the launcher sees a line.
  std::string text(reinterpret_cast<const char*>(data), size);
  text.resize(text.find('\0') == std::string::npos ? text.size() : text.find('\0'));
  const std::vector<std::string> tokens = split(text);
  std::string joined;
  for (const std::string& token : tokens) {
    const HeapArray<char> quoted = cmdline::quote_argument(token.c_str());
    if (std::string(quoted.get()).size() > 2 * token.size() + 2) std::abort();
    if (!joined.empty()) joined.push_back(' ');
    joined += quoted.get();
  }
  if (split(joined) != tokens) std::abort();
  wide_round_trip(data, size);
  never_ascii(text);
  return 0;
}
