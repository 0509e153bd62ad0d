// The Windows command-line convention, both ways: splitting a line into
// tokens as the C runtime does, and quoting one argument so that the same
// splitting gives it back unchanged.
#pragma once

#include "platform/heap.h"

namespace cmdline {

// The tokens of one split line, in order. They live inside the text that was
// split; `tokens` has room for count + 1 entries.
struct TokenList {
  HeapArray<char*> tokens;
  int count = 0;
};

// Splits `text` in place: blanks separate tokens, double quotes group, and
// backslashes escape a double quote. Always gives at least one token (an
// empty one for an empty or all-blank text). count is 0 only when the
// pointer array cannot be allocated.
[[nodiscard]] TokenList split_command_line(char* text) noexcept;

// The argument wrapped in double quotes, with backslash runs doubled where
// they precede a double quote or the closing quote. Null when out of memory.
[[nodiscard]] HeapArray<char> quote_argument(const char* arg) noexcept;

// The whitespace of the C locale: blank, tab, LF, VT, FF, CR.
[[nodiscard]] constexpr bool is_blank(char c) noexcept {
  return c == ' ' || (c >= '\t' && c <= '\r');
}

}  // namespace cmdline
