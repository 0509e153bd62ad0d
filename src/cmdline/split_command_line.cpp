#include <string_view>

#include "cmdline/cmdline.h"

namespace cmdline {
namespace {

char* skip_blanks(char* p) noexcept {
  while (is_blank(*p)) ++p;
  return p;
}

char* put_backslashes(char* w, int count) noexcept {
  for (; count > 0; --count) *w++ = '\\';
  return w;
}

}  // namespace

// The write position never overtakes the read position: every byte written
// stands for at least one byte read, so the line is rewritten in place.
TokenList split_command_line(char* text) noexcept {
  TokenList list;
  // A token takes at least one byte of text plus its end, so count + 1
  // entries always fit; two more cover a text of zero or one byte.
  list.tokens = allocate_array<char*>(std::string_view(text).size() + 2);
  if (!list.tokens) return list;

  char* r = skip_blanks(text);
  char* w = text;
  list.tokens[0] = text;
  bool in_quotes = false;
  int backslashes = 0;
  for (;;) {
    const char c = *r++;
    if (c == '\0' || (is_blank(c) && !in_quotes)) {
      w = put_backslashes(w, backslashes);
      backslashes = 0;
      *w++ = '\0';
      list.tokens[static_cast<std::size_t>(++list.count)] = w;
      if (c == '\0') break;
      r = skip_blanks(r);
      if (*r == '\0') break;
      continue;
    }
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    bool dropped = false;
    if (c == '"') {
      // 2n backslashes and a quote: n backslashes, quoting flips.
      // 2n + 1 backslashes and a quote: n backslashes, a literal quote.
      dropped = backslashes % 2 == 0;
      if (dropped) in_quotes = !in_quotes;
      backslashes /= 2;
    }
    w = put_backslashes(w, backslashes);
    backslashes = 0;
    if (!dropped) *w++ = c;
  }
  return list;
}

}  // namespace cmdline
