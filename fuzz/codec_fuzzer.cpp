// Arbitrary bytes are split; every token is quoted; the quoted forms,
// joined with single blanks, must split back to the same tokens.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "cmdline/cmdline.h"

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
  return 0;
}
