// The launcher's own split of an interpreter line, for the Python package's
// tests: reads the text after "#!" on standard input and writes each token
// followed by a NUL byte.
#include <cstdio>
#include <string>

#include "cmdline/cmdline.h"

int main() {
  std::string text;
  for (int c = std::getchar(); c != EOF; c = std::getchar()) text.push_back(static_cast<char>(c));
  const cmdline::TokenList list = cmdline::split_command_line(text.data());
  for (int i = 0; i < list.count; ++i) {
    std::fputs(list.tokens[static_cast<std::size_t>(i)], stdout);
    std::fputc('\0', stdout);
  }
  return list.count > 0 ? 0 : 1;
}
