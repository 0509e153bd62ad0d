// The windowless launcher on Windows (GUI subsystem, for GUI scripts):
// pythonw.exe and "-script.pyw". With no console to print on, the messages
// of one launch are kept and shown together in one message box, and only
// when the launch fails; warnings before a good start show nothing.
#include <windows.h>

#include <algorithm>
#include <string_view>

#include "platform/message_text.h"
#include "platform/platform.h"
#include "platform/programs.h"

extern "C" void __cdecl __set_app_type(int type);

namespace platform {
namespace {

constexpr int gui_app = 2;

// Room for every message of one launch: at most three search warnings and
// one failure message, each under 600 bytes. Anything beyond is cut.
char kept_messages[4096];
std::size_t kept_size = 0;

void keep(std::string_view text) noexcept {
  const std::size_t n = std::min(text.size(), sizeof kept_messages - 1 - kept_size);
  std::copy_n(text.begin(), n, kept_messages + kept_size);
  kept_size += n;
}

}  // namespace

const Program& program() noexcept { return windows_windowless; }

// Windows shows the "app starting" cursor for a GUI program until it takes
// a message from its queue; a launcher that never opens a window would
// leave it spinning for seconds beside the script's own window. One posted
// message, taken off at once, ends it (and the post makes the queue exist,
// so the take cannot wait).
void program_started() noexcept {
  __set_app_type(gui_app);  // the runtime's own errors in a box, too
  MSG message;
  if (PostMessageA(nullptr, WM_NULL, 0, 0)) GetMessageA(&message, nullptr, 0, 0);
}

void print_error(const char* format, const char* arg) noexcept {
  put_message(format, arg, [](const char* piece, std::size_t length) { keep({piece, length}); });
}

// One box, titled with the launcher's own file name, holding exactly what
// the console launcher would have written to standard error.
void failure_reported() noexcept {
  char path[MAX_PATH + 1] = {};
  const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  const char* title = path;
  for (DWORD i = 0; i < length && i < MAX_PATH; ++i) {
    if (path[i] == '\\' || path[i] == '/') title = path + i + 1;
  }
  MessageBoxA(nullptr, kept_messages, title, MB_OK | MB_ICONERROR);
}

}  // namespace platform
