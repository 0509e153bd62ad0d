// The console launcher on Windows: python.exe, "-script.py", and messages
// on the runtime's standard error.
#include <io.h>

#include "platform/platform.h"
#include "platform/programs.h"
#include "platform/win32/app_type.h"
#include "platform/win32/message_text.h"

namespace platform {

const Program& program() noexcept { return windows_console; }

// The runtime reports its own errors on the console, not in a box.
void program_started() noexcept { __set_app_type(console_app); }

// Straight to the runtime's descriptor 2, in text mode as its stderr stream
// would write it ("\n" becomes "\r\n"): no stdio, and none of MinGW's
// printf.
void print_error(const char* format, const char* arg) noexcept {
  put_message(format, arg, [](const char* piece, std::size_t length) {
    _write(2, piece, static_cast<unsigned>(length));
  });
}

// The message is already on standard error.
void failure_reported() noexcept {}

}  // namespace platform
