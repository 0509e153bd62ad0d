// The process entry on Windows, in place of MinGW's start-up code and its
// runtime support: the wide arguments split by the system C runtime itself,
// with wildcard expansion on as its own start-up would do it, each made
// WTF-8; then the runtime's exit, which flushes its streams and ends the
// process with our status.
#include <cstdlib>

#include "platform/platform.h"
#include "platform/wtf8.h"

extern "C" {

struct RuntimeStartupInfo {
  int new_mode;  // cppcheck-suppress unusedStructMember ; read by the runtime
};
int __cdecl __wgetmainargs(int* argc, wchar_t*** argv, wchar_t*** env, int expand_wildcards,
                           RuntimeStartupInfo* info);
}

namespace {

std::size_t units_of(const wchar_t* text) {
  std::size_t units = 0;
  while (text[units] != L'\0') ++units;
  return units;
}

// The arguments as WTF-8, each in a block of its own (no unit gives more
// than three bytes) that lives as long as the process. Null when no memory
// can be had.
char** narrow_arguments(int argc, wchar_t* const* wide) {
  const auto count = static_cast<std::size_t>(argc);
  auto** const argv = static_cast<char**>(platform::allocate_zeroed((count + 1) * sizeof(char*)));
  for (std::size_t i = 0; argv != nullptr && i < count; ++i) {
    const std::size_t units = units_of(wide[i]);
    argv[i] = static_cast<char*>(platform::allocate_zeroed(3 * units + 1));
    if (argv[i] == nullptr) return nullptr;
    platform::wtf8_from_utf16(wide[i], units, argv[i], 3 * units + 1);
  }
  return argv;
}

}  // namespace

extern "C" {

// Windows enters with a 4-byte aligned stack on x86; realign for the
// compiler's assumptions.
#if defined(__i386__)
#define LAUNCHER_ENTRY __attribute__((force_align_arg_pointer, noreturn))
#else
#define LAUNCHER_ENTRY __attribute__((noreturn))
#endif

// The entry point named to the linker.
LAUNCHER_ENTRY void launcher_start() {
  int argc = 0;
  wchar_t** wide = nullptr;
  wchar_t** env = nullptr;
  RuntimeStartupInfo info{0};
  // As the runtime fails when it cannot split the arguments.
  char** const argv =
      __wgetmainargs(&argc, &wide, &env, 1, &info) < 0 ? nullptr : narrow_arguments(argc, wide);
  if (argv == nullptr) std::exit(255);
  std::exit(launcher_main(argc, argv));
}

}  // extern "C"
