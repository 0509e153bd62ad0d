// Our byte strings in the wide form every Windows call that carries text
// takes, and back: nothing narrow reaches the system, so nothing goes
// through the legacy code page, which would best-fit or drop what it lacks.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string_view>

#include "platform/wtf8.h"

namespace platform {

// Room for every path the launch forms (a path block is 260 bytes, and no
// byte gives more than one unit).
inline constexpr std::size_t wide_path_size = MAX_PATH + 1;

// False when `text` does not fit `capacity` units with its terminator.
[[nodiscard]] inline bool widen(const char* text, wchar_t* wide, std::size_t capacity) noexcept {
  return fits(utf16_from_wtf8(std::string_view(text), wide, capacity), capacity);
}

}  // namespace platform
