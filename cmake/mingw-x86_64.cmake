# Windows x64: clang and lld for x86_64-w64-mingw32.
set(CMAKE_SYSTEM_PROCESSOR x64)
set(triple x86_64-w64-mingw32)
set(libstdcxx_triple x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/clang-mingw.cmake)
