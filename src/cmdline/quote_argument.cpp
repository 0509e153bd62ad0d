#include <string_view>

#include "cmdline/cmdline.h"

namespace cmdline {

// Backslashes are literal except before a double quote, so only runs that
// end at a quote (or at the closing quote we add) need doubling.
HeapArray<char> quote_argument(const char* arg) noexcept {
  const std::string_view in(arg);
  // Worst case every byte is a quote: 2n, plus two quotes and the end.
  HeapArray<char> out = allocate_array<char>(2 * in.size() + 3);
  if (!out) return out;
  char* w = out.get();
  *w++ = '"';
  std::size_t backslashes = 0;
  for (const char c : in) {
    if (c == '\\') {
      ++backslashes;
    } else if (c == '"') {
      for (; backslashes > 0; --backslashes) *w++ = '\\';
      *w++ = '\\';
    } else {
      backslashes = 0;
    }
    *w++ = c;
  }
  for (; backslashes > 0; --backslashes) *w++ = '\\';
  *w = '"';  // the block is zero-filled: the terminator is there
  return out;
}

}  // namespace cmdline
