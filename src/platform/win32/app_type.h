// The system C runtime's record of what kind of program it runs in, which
// decides where it reports its own errors: on the console, or in a box.
// Its headers do not declare it.
#pragma once

extern "C" void __cdecl __set_app_type(int type);

namespace platform {

inline constexpr int console_app = 1;
inline constexpr int gui_app = 2;

}  // namespace platform
