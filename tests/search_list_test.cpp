#include "platform/win32/search_list.h"

#include <gtest/gtest.h>

#include <string>

#include "fake_platform.h"
#include "platform/win32/message_text.h"

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

TEST(SearchList, LaunchersOwnDirectory) {
  fake::reset();  // Windows paths
  const std::pair<const wchar_t*, const wchar_t*> cases[] = {
      {L"C:\\Tools\\run.exe", L"C:\\Tools"},
      {L"C:\\run.exe", L"C:\\"},  // "C:" alone would be the drive's working directory
      {L"C:/Tools/run.exe", L"C:/Tools"},
      {L"\\\\server\\share\\run.exe", L"\\\\server\\share"},
      {L"\\run.exe", L"\\"},
      {L"run.exe", L""},
  };
  for (const auto& [module, expected] : cases) {
    const std::wstring path(module);
    EXPECT_EQ(path.substr(0, platform::directory_length(path.c_str(), path.size())), expected);
  }
}

TEST(SearchList, WindowlessMessagesAreCutAtTheirBuffersEnd) {
  char kept[24] = {};
  platform::append_message(kept, sizeof kept, "Cannot open %s\n", "C:\\a-script.pyw");
  EXPECT_STREQ(kept, "Cannot open C:\\a-script");
  platform::append_message(kept, sizeof kept, "Cound not exec %s", "C:\\python.exe");
  EXPECT_STREQ(kept, "Cannot open C:\\a-script");
  char roomy[64] = {};
  platform::append_message(roomy, sizeof roomy, "Found python %s, ", "on the path");
  platform::append_message(roomy, sizeof roomy, "(partial path=%s\n", "C:\\x");
  EXPECT_STREQ(roomy, "Found python on the path, (partial path=C:\\x\n");
}

}  // namespace
