// The console launcher on Windows: python.exe, "-script.py", and messages
// on the runtime's standard error.
#include <cstdio>
#include <cstring>

#include "platform/platform.h"

namespace platform {

const Program& program() noexcept {
  static constexpr Program console{"-script.py", "#!python.exe", "python.exe"};
  return console;
}

void program_started() noexcept {}

// The one "%s" substituted by hand: MinGW's C++ headers route fprintf to
// their own printf, whose floating-point formatter would outweigh the
// launcher several times over. Same bytes on the same text-mode stream.
void print_error(const char* format, const char* arg) noexcept {
  const char* at = std::strstr(format, "%s");
  if (at == nullptr) {
    std::fputs(format, stderr);
    return;
  }
  std::fwrite(format, 1, static_cast<std::size_t>(at - format), stderr);
  std::fputs(arg, stderr);
  std::fputs(at + 2, stderr);
}

// The message is already on standard error.
void failure_reported() noexcept {}

}  // namespace platform
