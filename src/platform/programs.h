// The names each launcher program goes by, in one place for the programs
// themselves and for the tests that drive the launch with them.
#pragma once

#include <string_view>

#include "platform/platform.h"

namespace platform {

inline constexpr Program windows_console{"-script.py", "#!python.exe", "python.exe",
                                         "ExecutablePath"};
inline constexpr Program windows_windowless{"-script.pyw", "#!pythonw.exe", "pythonw.exe",
                                            "WindowedExecutablePath"};
// On POSIX, python3 plays the part of python.exe (and there is no registry).
inline constexpr Program posix_console{"-script.py", "#!python.exe", "python3", "ExecutablePath"};

// Each suffix fits the room the launch keeps for it after the launcher's path.
static_assert(std::string_view(windows_console.script_suffix).size() < longest_script_suffix);
static_assert(std::string_view(windows_windowless.script_suffix).size() < longest_script_suffix);
static_assert(std::string_view(posix_console.script_suffix).size() < longest_script_suffix);

}  // namespace platform
