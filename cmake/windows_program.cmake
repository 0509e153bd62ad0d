# How the Windows programs are linked: our own start-up (start_win32.cpp) on
# the system C runtime, no MinGW start-up code or static runtime support,
# and imports from KERNEL32, ADVAPI32 and msvcrt alone (and USER32 for the
# windowless program).
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(i.86|x86)$" OR CMAKE_CXX_COMPILER MATCHES "i686")
  set(entry _launcher_start)  # C names carry a leading underscore on x86
else()
  set(entry launcher_start)
endif()
foreach(program ${programs})
  target_compile_options(${program} PRIVATE ${windows_size_flags})
  target_link_options(${program} PRIVATE -nostdlib -Wl,--entry=${entry}
                      # Bit-for-bit rebuilds: no link time in the PE header.
                      -Wl,--no-insert-timestamp)
  target_link_libraries(${program} PRIVATE msvcrt kernel32 advapi32)
endforeach()
target_link_libraries(launcherw PRIVATE user32)
# The windowless launcher for GUI scripts: no console window of its own.
target_link_options(launcherw PRIVATE -Wl,--subsystem,windows)
