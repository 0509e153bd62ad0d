// The names each launcher program goes by, in one place for the programs
// themselves and for the tests that drive the launch with them.
#pragma once

#include "platform/platform.h"

namespace platform {

inline constexpr Program windows_console{"-script.py", "#!python.exe", "python.exe"};
inline constexpr Program windows_windowless{"-script.pyw", "#!pythonw.exe", "pythonw.exe"};
// On POSIX, python3 plays the part of python.exe.
inline constexpr Program posix_console{"-script.py", "#!python.exe", "python3"};

}  // namespace platform
