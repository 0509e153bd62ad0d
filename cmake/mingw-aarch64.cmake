# Windows ARM64: clang and lld for aarch64-w64-mingw32. Debian has no MinGW
# GCC for ARM64: the x64 one's C++ headers serve (both are LLP64 MinGW, and
# only header-only parts are used), and the import libraries are made from
# src/platform/win32/imports/*.def at build time.
set(CMAKE_SYSTEM_PROCESSOR ARM64)
set(triple aarch64-w64-mingw32)
set(libstdcxx_triple x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/clang-mingw.cmake)
