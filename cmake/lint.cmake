# Static checks as tests: formatting, clang-tidy and cppcheck over the
# launcher's sources, each with zero findings allowed.
file(GLOB_RECURSE lint_sources CONFIGURE_DEPENDS
     ${PROJECT_SOURCE_DIR}/src/*.cpp ${PROJECT_SOURCE_DIR}/src/*.h
     ${PROJECT_SOURCE_DIR}/tests/*.cpp ${PROJECT_SOURCE_DIR}/tests/*.h
     ${PROJECT_SOURCE_DIR}/fuzz/*.cpp)
file(GLOB tidy_sources ${PROJECT_SOURCE_DIR}/src/*/*.cpp)
file(GLOB posix_sources ${PROJECT_SOURCE_DIR}/src/platform/posix/*.cpp)
list(APPEND tidy_sources ${posix_sources})  # the Windows layer needs the Windows headers

find_program(CLANG_FORMAT clang-format)
find_program(CLANG_TIDY clang-tidy)
find_program(CPPCHECK cppcheck)
if(CLANG_FORMAT)
  add_test(NAME lint.clang-format COMMAND ${CLANG_FORMAT} --dry-run --Werror ${lint_sources})
endif()
if(CLANG_TIDY)
  add_test(NAME lint.clang-tidy COMMAND ${CLANG_TIDY} -p ${CMAKE_BINARY_DIR} --quiet ${tidy_sources})
endif()
if(CPPCHECK)
  add_test(NAME lint.cppcheck
           COMMAND ${CPPCHECK} --enable=warning,style,performance,portability --error-exitcode=1
                   --inline-suppr --std=c++20 --language=c++ -I ${PROJECT_SOURCE_DIR}/src
                   --suppress=missingIncludeSystem --quiet ${PROJECT_SOURCE_DIR}/src)
endif()
foreach(check clang-format clang-tidy cppcheck)
  if(TEST lint.${check})
    set_tests_properties(lint.${check} PROPERTIES LABELS lint)
  endif()
endforeach()
