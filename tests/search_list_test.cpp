#include "platform/win32/search_list.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(SearchList, EmptyEntriesAreDropped) {
  const std::pair<const char*, const char*> cases[] = {
      {"", ""},
      {";", ""},
      {";;;", ""},
      {"C:\\a", "C:\\a"},
      {"C:\\a;C:\\b", "C:\\a;C:\\b"},
      {";C:\\a", "C:\\a"},
      {"C:\\a;", "C:\\a"},
      {"C:\\a;;C:\\b;;;", "C:\\a;C:\\b"},
      {".;;C:\\b", ".;C:\\b"},
      {" ;C:\\b", " ;C:\\b"},
  };
  for (const auto& [list, expected] : cases) {
    std::string text(list);
    const std::size_t length = platform::drop_empty_entries(text.data(), text.size());
    EXPECT_EQ(text.substr(0, length), expected) << list;
    EXPECT_EQ(text.c_str(), std::string(expected)) << list << ": terminated";
  }
}

}  // namespace
