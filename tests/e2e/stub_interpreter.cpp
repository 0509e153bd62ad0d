// A stand-in interpreter for the end-to-end tests. Driven by its
// environment: it records the arguments it received, then ends the way it
// is asked to.
//   STUB_OUT      file to write: each argument followed by a NUL byte
//   STUB_READY    file to create once the arguments are written
//   STUB_TRAP     on SIGINT, exit with this status (waits for it)
//   STUB_SLEEP_MS sleep this long, then create STUB_WAKE
//   STUB_SIGNAL   end by this signal
//   STUB_STATUS   exit with this status (default 0)
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace {

int trap_status = 0;

void on_interrupt(int) { _exit(trap_status); }

void touch(const char* path) {
  if (FILE* f = std::fopen(path, "w")) std::fclose(f);
}

long number(const char* name, long fallback) {
  const char* text = std::getenv(name);
  return text != nullptr ? std::strtol(text, nullptr, 10) : fallback;
}

}  // namespace

int main(int argc, char** argv) {
  if (const char* out = std::getenv("STUB_OUT")) {
    FILE* f = std::fopen(out, "wb");
    if (f == nullptr) return 101;
    for (int i = 0; i < argc; ++i) std::fwrite(argv[i], 1, std::strlen(argv[i]) + 1, f);
    std::fclose(f);
  }
  if (std::getenv("STUB_TRAP") != nullptr) {
    trap_status = static_cast<int>(number("STUB_TRAP", 0));
    signal(SIGINT, on_interrupt);
  }
  if (const char* ready = std::getenv("STUB_READY")) touch(ready);
  if (std::getenv("STUB_TRAP") != nullptr) {
    for (;;) pause();
  }
  if (const long ms = number("STUB_SLEEP_MS", 0); ms > 0) {
    const timespec delay{ms / 1000, (ms % 1000) * 1000000};
    nanosleep(&delay, nullptr);
    if (const char* wake = std::getenv("STUB_WAKE")) touch(wake);
  }
  if (const long sig = number("STUB_SIGNAL", 0); sig > 0) raise(static_cast<int>(sig));
  return static_cast<int>(number("STUB_STATUS", 0));
}
