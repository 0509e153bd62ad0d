# Cross-compiling for Windows with Debian's clang and lld on the MinGW-w64
# headers; included by the per-architecture toolchain files, which set
# `triple` (and `libstdcxx_triple`, the MinGW GCC whose C++ headers to use).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_CXX_COMPILER_TARGET ${triple})
find_program(LLVM_WINDRES NAMES llvm-windres llvm-windres-14 REQUIRED)
set(CMAKE_RC_COMPILER ${LLVM_WINDRES})
set(CMAKE_RC_FLAGS_INIT "--target=${triple}")
# Bitcode archives for link-time optimisation need LLVM's archiver.
set(CMAKE_AR llvm-ar)
set(CMAKE_RANLIB llvm-ranlib)

# The C++ library headers (header-only use) and, for the test helpers that
# use MinGW's own start-up, its runtime libraries: from Debian's MinGW GCC.
set(mingw_gcc_dir /usr/lib/gcc/${libstdcxx_triple}/12-posix)
set(CMAKE_CXX_FLAGS_INIT "-nostdinc++ -isystem ${mingw_gcc_dir}/include/c++ \
-isystem ${mingw_gcc_dir}/include/c++/${libstdcxx_triple}")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-fuse-ld=lld -Wno-unused-command-line-argument")
if(EXISTS /usr/${triple}/include)
  string(APPEND CMAKE_EXE_LINKER_FLAGS_INIT " -L${mingw_gcc_dir}")
else()
  # No MinGW for this architecture: the architecture-neutral headers.
  string(APPEND CMAKE_CXX_FLAGS_INIT " -isystem /usr/share/mingw-w64/include")
endif()

# No default libraries: the launcher names its own imports, and the clang
# driver adds MinGW's for the test helpers. Without a runtime for this
# architecture, CMake's compiler check can only build a library.
set(CMAKE_CXX_STANDARD_LIBRARIES "" CACHE STRING "")
if(NOT EXISTS /usr/${triple}/include)
  set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)
endif()

set(CMAKE_FIND_ROOT_PATH /usr/${triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
