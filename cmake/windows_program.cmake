# How the Windows programs are built: our own start-up (win32/start.cpp) on
# the system C runtime, no MinGW start-up code or static runtime support,
# imports from KERNEL32, ADVAPI32 and msvcrt alone (and USER32 for the
# windowless program), and nothing stored that need not be.
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86")
  set(entry _launcher_start)  # C names carry a leading underscore on x86
  set(dlltool_machine i386)
elseif(CMAKE_SYSTEM_PROCESSOR STREQUAL "x64")
  set(entry launcher_start)
  set(dlltool_machine i386:x86-64)
else()
  set(entry launcher_start)
  set(dlltool_machine arm64)
endif()

# Import libraries: MinGW's where Debian has them; for ARM64, made from the
# short lists of what the launcher calls.
set(import_dir ${CMAKE_BINARY_DIR}/imports)
foreach(dll msvcrt kernel32 advapi32 user32)
  if(EXISTS /usr/${CMAKE_CXX_COMPILER_TARGET}/lib/lib${dll}.a)
    set(${dll}_import ${dll})
    continue()
  endif()
  find_program(LLVM_DLLTOOL NAMES llvm-dlltool llvm-dlltool-14 REQUIRED)
  set(def ${PROJECT_SOURCE_DIR}/src/platform/win32/imports/${dll}.def)
  set(${dll}_import ${import_dir}/lib${dll}.a)
  add_custom_command(OUTPUT ${${dll}_import}
                     COMMAND ${CMAKE_COMMAND} -E make_directory ${import_dir}
                     COMMAND ${LLVM_DLLTOOL} -m ${dlltool_machine} -d ${def} -l ${${dll}_import}
                     DEPENDS ${def} VERBATIM)
  add_custom_target(${dll}_import_library DEPENDS ${${dll}_import})
endforeach()

# Smallest code, optimised across files; no unwind tables, no compiler
# identification strings.
set(windows_size_flags -Oz -flto -fno-asynchronous-unwind-tables -fno-unwind-tables -fno-ident)
target_compile_options(launcher_core PRIVATE ${windows_size_flags})
foreach(program ${programs})
  target_compile_options(${program} PRIVATE ${windows_size_flags})
  target_link_options(${program} PRIVATE -nostdlib -flto -Wl,--entry=${entry}
                      -Wl,--dynamicbase -Wl,--nxcompat
                      $<$<NOT:$<STREQUAL:${CMAKE_SYSTEM_PROCESSOR},x86>>:-Wl,--high-entropy-va>
                      # Read-only data beside the code: one section less,
                      # half a KiB less in the file.
                      -Wl,-Xlink=-merge:.rdata=.text
                      # Bit-for-bit rebuilds: no link time in the PE header.
                      -Wl,--no-insert-timestamp
                      # The linker sizes the headers for every section it
                      # may make, empty ones included: with these merged
                      # away the headers take 512 bytes, not 1024. Nothing
                      # may then be writable (the PE checks read the map).
                      -Wl,-Xlink=-merge:.data=.text -Wl,-Xlink=-merge:.pdata=.text
                      -Wl,-Xlink=-merge:.buildid=.text
                      -Wl,-Xlink=-map:${program}.map)
  target_link_libraries(${program} PRIVATE ${msvcrt_import} ${kernel32_import} ${advapi32_import})
  foreach(dll msvcrt kernel32 advapi32 user32)
    if(TARGET ${dll}_import_library)
      add_dependencies(${program} ${dll}_import_library)
    endif()
  endforeach()
endforeach()
# The windowless launcher for GUI scripts: no console window of its own.
target_link_libraries(launcherw PRIVATE ${user32_import})
target_link_options(launcherw PRIVATE -Wl,--subsystem,windows)
