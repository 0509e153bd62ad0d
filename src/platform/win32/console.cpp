// The console launcher on Windows: python.exe, "-script.py", and messages
// on the runtime's standard error.
#include <io.h>
#include <windows.h>

#include <string_view>

#include "platform/heap.h"
#include "platform/platform.h"
#include "platform/programs.h"
#include "platform/win32/app_type.h"
#include "platform/win32/message_text.h"
#include "platform/win32/wide.h"

namespace platform {
namespace {

// A console shows bytes in its own code page, whatever they are meant to
// be: its wide call shows a path in any language. Line ends as the
// runtime's text mode writes them ("\r\n"). No byte gives more than a
// unit: the text is made wide in the upper half, then moved down with a
// CR before each LF, which never overtakes what is still to be read.
void write_console(HANDLE console, std::string_view text) noexcept {
  const HeapArray<wchar_t> wide = allocate_array<wchar_t>(2 * text.size() + 1);
  if (!wide) return;
  const wchar_t* const read = wide.get() + text.size();
  const std::size_t units = utf16_from_wtf8(text, wide.get() + text.size(), text.size() + 1);
  std::size_t used = 0;
  for (std::size_t i = 0; i < units; ++i) {
    const wchar_t unit = read[i];
    if (unit == L'\n') wide[used++] = L'\r';
    wide[used++] = unit;
  }
  DWORD written = 0;
  WriteConsoleW(console, wide.get(), static_cast<DWORD>(used), &written, nullptr);
}

}  // namespace

const Program& program() noexcept { return windows_console; }

// The runtime reports its own errors on the console, not in a box.
void program_started() noexcept { __set_app_type(console_app); }

// On a console, through its wide call; redirected, the UTF-8 bytes straight
// to the runtime's descriptor 2, in text mode as its stderr stream would
// write them ("\n" becomes "\r\n"): no stdio, and none of MinGW's printf.
void print_error(const char* format, const char* arg) noexcept {
  const auto err = reinterpret_cast<HANDLE>(_get_osfhandle(2));
  DWORD mode = 0;
  const bool console = GetConsoleMode(err, &mode) != 0;
  put_message(format, arg, [&](const char* piece, std::size_t length) {
    if (console)
      write_console(err, {piece, length});
    else
      _write(2, piece, static_cast<unsigned>(length));
  });
}

// The message is already on standard error.
void failure_reported() noexcept {}

}  // namespace platform
