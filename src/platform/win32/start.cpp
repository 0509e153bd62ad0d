// The process entry on Windows, in place of MinGW's start-up code and its
// runtime support: the arguments split by the system C runtime itself, with
// wildcard expansion on as its own start-up would do it, then the runtime's
// exit, which flushes its streams and ends the process with our status.
#include <cstdlib>

#include "platform/platform.h"

extern "C" {

struct RuntimeStartupInfo {
  int new_mode;  // cppcheck-suppress unusedStructMember ; read by the runtime
};
int __cdecl __getmainargs(int* argc, char*** argv, char*** env, int expand_wildcards,
                          RuntimeStartupInfo* info);

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
  char** argv = nullptr;
  char** env = nullptr;
  RuntimeStartupInfo info{0};
  if (__getmainargs(&argc, &argv, &env, 1, &info) < 0) std::exit(255);
  std::exit(launcher_main(argc, argv));
}

}  // extern "C"
