// The windowless launcher on Windows (GUI subsystem, for GUI scripts):
// pythonw.exe and "-script.pyw". With no console to print on, the messages
// of one launch are kept and shown together in one message box, and only
// when the launch fails; warnings before a good start show nothing.
#include <windows.h>

#include <string_view>

#include "platform/heap.h"
#include "platform/path.h"
#include "platform/platform.h"
#include "platform/programs.h"
#include "platform/win32/app_type.h"
#include "platform/win32/message_text.h"
#include "platform/win32/wide.h"

namespace platform {
namespace {

// Room for every message of one launch: at most three search warnings and
// one failure message, each under 600 bytes. Anything beyond is cut.
constexpr std::size_t kept_size = 4096;
// Carries the address of the kept messages.
constexpr UINT kept_message = WM_APP;

// The block of kept messages, made on first use; null when no memory can
// be had. A writable global would cost the file a section of its own (and
// the PE32 its room in the headers), so the block's address waits in our
// own thread's message queue, which nothing else reads and no child
// inherits.
char* kept_messages() noexcept {
  MSG message;
  if (PeekMessageW(&message, nullptr, kept_message, kept_message, PM_NOREMOVE))
    return reinterpret_cast<char*>(message.wParam);
  auto* kept = static_cast<char*>(allocate_zeroed(kept_size));
  // Our own queue has room (its limit is thousands of messages), and the
  // block lives as long as the process.
  if (kept != nullptr) PostMessageW(nullptr, kept_message, reinterpret_cast<WPARAM>(kept), 0);
  return kept;
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
  if (PostMessageW(nullptr, WM_NULL, 0, 0)) GetMessageW(&message, nullptr, 0, 0);
}

void print_error(const char* format, const char* arg) noexcept {
  char* const kept = kept_messages();
  if (kept != nullptr) append_message(kept, kept_size, format, arg);
}

// One box, titled with the launcher's own file name, holding exactly what
// the console launcher would have written to standard error.
void failure_reported() noexcept {
  wchar_t path[wide_path_size];
  const DWORD units = GetModuleFileNameW(nullptr, path, MAX_PATH);  // at most MAX_PATH
  path[units] = L'\0';
  const wchar_t* const title = path + file_name_start(std::wstring_view(path, units));
  const char* const kept = kept_messages();
  const std::string_view text(kept != nullptr ? kept : "");
  const HeapArray<wchar_t> wide = allocate_array<wchar_t>(text.size() + 1);
  if (kept == nullptr || !wide) return;
  utf16_from_wtf8(text, wide.get(), text.size() + 1);
  MessageBoxW(nullptr, wide.get(), title, MB_OK | MB_ICONERROR);
}

}  // namespace platform
