// The Windows command-line convention, both ways: splitting a line into
// tokens, and quoting one argument so that the same splitting gives it back
// unchanged.
#pragma once

#include "platform/heap.h"

namespace cmdline {

// The tokens of one split line, in order. They live inside the text that was
// split; `tokens` has room for count + 1 entries.
struct TokenList {
  HeapArray<char*> tokens;
  int count = 0;
};

// Splits `text` in place by the older C runtimes' rule, which the launcher
// has always followed: whitespace separates tokens, a double quote switches
// quoting on or off, and 2n backslashes before a double quote give n and
// switch quoting while 2n + 1 give n and a literal quote; other backslashes
// are literal. Today's runtimes differ in two ways: they split on blank and
// tab only, where this splits on any is_blank() byte (also VT, FF, CR and
// LF); and they read "" inside quotes as a literal quote ("a""b" gives a"b),
// where here each quote just switches ("a""b" gives ab). Always gives at
// least one token (an empty one for an empty or all-blank text). count is 0
// only when the pointer array cannot be allocated.
[[nodiscard]] TokenList split_command_line(char* text) noexcept;

// The argument wrapped in double quotes, with backslash runs doubled where
// they precede a double quote or the closing quote. Null when out of memory.
[[nodiscard]] HeapArray<char> quote_argument(const char* arg) noexcept;

// The whitespace of the C locale: blank, tab, LF, VT, FF, CR.
[[nodiscard]] constexpr bool is_blank(char c) noexcept {
  return c == ' ' || (c >= '\t' && c <= '\r');
}

}  // namespace cmdline
