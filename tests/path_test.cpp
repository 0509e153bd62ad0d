// The path toolkit and the heap array on their own, apart from the launch.
#include "platform/path.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <utility>

#include "fake_platform.h"
#include "platform/found_path.h"
#include "platform/heap.h"

namespace {

class Path : public ::testing::Test {
 protected:
  void SetUp() override { fake::reset(); }
};

TEST_F(Path, HeapArrayMovedToItselfKeepsItsBlock) {
  HeapArray<char> a = allocate_array<char>(4);
  char* const block = a.get();
  HeapArray<char>& same = a;
  a = std::move(same);  // released twice, under the sanitizers, before the fix
  EXPECT_EQ(a.get(), block);
  a[3] = 'x';
}

TEST_F(Path, FoundPathAnswer) {
  struct Case {
    std::string found;
    std::size_t capacity;
    std::size_t answer;
    std::string kept;
  };
  const Case cases[] = {
      {"C:\\a.exe", 9, 8, "C:\\a.exe"},
      {"C:\\a.exe", 8, 8, "C:\\a.ex"},
      {"C:\\a.exe", 1, 8, ""},
      {"C:\\a.exe", 0, 8, "?"},  // nothing written at all
  };
  for (const auto& c : cases) {
    char buf[16] = "?";
    EXPECT_EQ(platform::answer_found_path(c.found, buf, c.capacity), c.answer) << c.capacity;
    EXPECT_EQ(std::string(buf), c.kept) << c.capacity;
  }
}

TEST_F(Path, BeginsWithFolded) {
  const std::tuple<std::string_view, std::string_view, bool> cases[] = {
      {"<Launcher_DIR>\\x", "<launcher_dir>\\", true},
      {"<launcher_dir>/x", "<launcher_dir>\\", true},
      {"<launcher_dir>x", "<launcher_dir>\\", false},
      {"<launcher_dir>", "<launcher_dir>\\", false},
      // A view that ends before the pattern does, inside a longer string.
      {std::string_view("<launcher_dir>\\x", 5), "<launcher_dir>\\", false},
  };
  for (const auto& [text, pattern, expected] : cases)
    EXPECT_EQ(platform::begins_with_folded(text, pattern), expected) << text;
}

TEST_F(Path, NormalizedOnItsOwn) {
  struct Case {
    platform::PathStyle style;
    const char* path;
    const char* plain;
  };
  using enum platform::PathStyle;
  const Case cases[] = {
      {Windows, "C:\\", "C:\\"},
      {Windows, "C:\\..\\a\\..\\..", "C:\\"},
      {Windows, "C:", "C:"},
      {Windows, "C:a\\..\\..\\b", "C:b"},
      {Windows, "\\\\server\\share\\", "\\\\server\\share\\"},
      {Windows, "\\\\server\\share\\a\\..\\..\\..", "\\\\server\\share\\"},
      {Windows, "//server/share/a/./b", "\\\\server\\share\\a\\b"},
      {Windows, "\\\\?\\C:\\a\\..\\b", "\\\\?\\C:\\b"},
      {Windows, "\\..\\a", "\\a"},
      {Posix, "/..", "/"},
      {Posix, "/a/../../b//c/.", "/b/c"},
      {Posix, "a/..", ""},
  };
  for (const auto& c : cases) {
    fake::state().style = c.style;
    std::string path(c.path);
    EXPECT_EQ(std::string(path.c_str(), platform::normalize_path(path.data())), c.plain) << c.path;
    EXPECT_EQ(path.c_str(), std::string(c.plain)) << c.path << ": terminated";
  }
}

}  // namespace
