// Turning the interpreter named on the interpreter line into a full path.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/heap.h"

namespace locate {

// Size of a path block and of the work buffer the search stages fill.
inline constexpr std::size_t path_block_size = 260;

// The machine hive's two views, and the current user's hive (one view).
enum class RegistryView : std::uint8_t { View64, View32, CurrentUser };

// Read access with the view's flag (KEY_READ | KEY_WOW64_64KEY or _32KEY);
// plain KEY_READ for the current user.
[[nodiscard]] constexpr std::uint32_t access_rights(RegistryView view) noexcept {
  switch (view) {
    case RegistryView::View64:
      return 0x20119U;
    case RegistryView::View32:
      return 0x20219U;
    case RegistryView::CurrentUser:
      break;
  }
  return 0x20019U;
}

// Why resolve_interpreter gave no path.
enum class Unresolved : std::uint8_t {
  NoPath,   // no memory, or a fallback path that does not fit
  TooLong,  // a "<launcher_dir>" path that does not fit a path block
};

// A token that begins with "<launcher_dir>" and a separator names a path
// from the launcher's own directory; one with a drive or a leading
// separator is taken as it stands, unless no file is there and one of its
// name is in the launcher's directory or the one above (a moved
// environment); any other stands for the machine's Python, searched for in
// a fixed order and finally looked for in the directory above the
// script's. Changes the token in place (forward slashes become the
// platform separator). Null, with the reason in `why`, when no path can be
// formed.
[[nodiscard]] HeapArray<char> resolve_interpreter(char* token, const char* script_path,
                                                  Unresolved* why) noexcept;

// Each stage leaves its result in buf (of `capacity` bytes) on found.
[[nodiscard]] bool search_path_for_python(char* buf, std::size_t capacity) noexcept;
[[nodiscard]] bool search_registry_for_python(char* buf, std::size_t capacity,
                                              RegistryView view) noexcept;

// The warning of a search stage that found python.exe at a path too long
// for its buffer (`where`: "on the path" or "in the registry"), with the
// part of the path that fits: "Found python <where>, but the internal
// buffer was not long enough (partial path=<partial>\n".
void warn_partial_path(const char* where, const char* partial) noexcept;

// A fresh zero-filled block of path_block_size bytes holding `path`, cut to
// path_block_size - 1 bytes so that it always ends in a terminator.
[[nodiscard]] HeapArray<char> make_path_block(const char* path) noexcept;

}  // namespace locate
