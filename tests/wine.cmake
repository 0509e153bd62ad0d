# Windows builds: the stub interpreter and the exit-code runner, and the
# suite that runs them with the launcher under Wine on the build machine.
set(LAUNCHER_WINE_TESTS "" CACHE STRING "Wine tests to register: suite, smoke, smoke-arm64 or none")
find_package(Python3 REQUIRED COMPONENTS Interpreter)

if(LAUNCHER_WINE_TESTS STREQUAL "smoke-arm64")
  # No MinGW runtime for ARM64: a stub on KERNEL32 alone, its import
  # library made from its own short list.
  find_program(LLVM_DLLTOOL NAMES llvm-dlltool llvm-dlltool-14 REQUIRED)
  set(stub_imports ${CMAKE_CURRENT_BINARY_DIR}/libstub_kernel32.a)
  add_custom_command(OUTPUT ${stub_imports}
                     COMMAND ${LLVM_DLLTOOL} -m arm64 -d ${CMAKE_CURRENT_SOURCE_DIR}/wine/stub_min.def
                             -l ${stub_imports}
                     DEPENDS wine/stub_min.def VERBATIM)
  add_custom_target(stub_imports DEPENDS ${stub_imports})
  add_executable(stub_min wine/stub_min.cpp)
  add_dependencies(stub_min stub_imports)
  target_compile_options(stub_min PRIVATE -fno-exceptions -fno-rtti)
  target_link_options(stub_min PRIVATE -nostdlib -Wl,--entry=stub_start -s)
  target_link_libraries(stub_min PRIVATE ${stub_imports})
  add_test(NAME wine-arm64.smoke COMMAND ${Python3_EXECUTABLE}
           ${CMAKE_CURRENT_SOURCE_DIR}/wine/smoke_arm64.py)
  set_tests_properties(wine-arm64.smoke PROPERTIES LABELS wine-arm64 TIMEOUT 1800
    ENVIRONMENT "LAUNCHER=$<TARGET_FILE:launcher>;STUB=$<TARGET_FILE:stub_min>")
  return()
endif()

# Wide both, as the launcher is: the stub records the units it received,
# the runner starts the launcher with any units.
add_executable(stub wine/stub.cpp)
target_link_options(stub PRIVATE -municode)
add_executable(runner wine/runner.cpp)
foreach(program stub runner)
  target_link_options(${program} PRIVATE -static -s)
endforeach()

set(wine_env
  "LAUNCHER=$<TARGET_FILE:launcher>"
  "LAUNCHERW=$<TARGET_FILE:launcherw>"
  "STUB=$<TARGET_FILE:stub>"
  "RUNNER=$<TARGET_FILE:runner>"
  "WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix")

if(LAUNCHER_WINE_TESTS STREQUAL "suite")
  set(driver ${CMAKE_CURRENT_SOURCE_DIR}/wine/wine_suite.py)
  add_test(NAME wine.prefix COMMAND ${Python3_EXECUTABLE} ${driver} --prepare)
  add_test(NAME wine.stop COMMAND ${Python3_EXECUTABLE} ${driver} --stop)
  set_tests_properties(wine.prefix PROPERTIES FIXTURES_SETUP wine ENVIRONMENT "${wine_env}" LABELS wine)
  set_tests_properties(wine.stop PROPERTIES FIXTURES_CLEANUP wine ENVIRONMENT "${wine_env}" LABELS wine)
  foreach(group Registry PythonOfTheUser SearchPath Absolute Fallback Failures Windowless SingleFile Packaging Signed Statuses Arguments Processes Unicode Build)
    add_test(NAME wine.${group} COMMAND ${Python3_EXECUTABLE} -m unittest -v wine_suite.${group})
    set_tests_properties(wine.${group} PROPERTIES
      FIXTURES_REQUIRED wine RESOURCE_LOCK wineprefix LABELS wine TIMEOUT 600
      WORKING_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}/wine
      ENVIRONMENT "${wine_env}")
  endforeach()
elseif(LAUNCHER_WINE_TESTS STREQUAL "smoke")
  add_test(NAME wine32.smoke COMMAND ${Python3_EXECUTABLE}
           ${CMAKE_CURRENT_SOURCE_DIR}/wine/smoke_x86.py)
  set_tests_properties(wine32.smoke PROPERTIES LABELS wine32 TIMEOUT 2500 ENVIRONMENT "${wine_env}")
endif()
