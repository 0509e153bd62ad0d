#include "cmdline/cmdline.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "fake_platform.h"

namespace {

std::vector<std::string> split(std::string text) {
  text.push_back('\0');
  const cmdline::TokenList list = cmdline::split_command_line(text.data());
  std::vector<std::string> out;
  for (std::size_t i = 0; i < static_cast<std::size_t>(list.count); ++i)
    out.emplace_back(list.tokens[i]);
  return out;
}

std::string quote(const std::string& arg) { return cmdline::quote_argument(arg.c_str()).get(); }

struct SplitCase {
  const char* text;
  std::vector<std::string> tokens;
};

TEST(SplitCommandLine, FollowsTheRuntimeRules) {
  const SplitCase cases[] = {
      {"python.exe", {"python.exe"}},
      {"  C:\\Py\\python.exe  -u  -O ", {"C:\\Py\\python.exe", "-u", "-O"}},
      {"\"C:\\Program Files\\Py\\python.exe\" -x", {"C:\\Program Files\\Py\\python.exe", "-x"}},
      {"a\\b", {"a\\b"}},
      {"a\\", {"a\\"}},
      {"a\\\\\"b c\"", {"a\\b c"}},
      {"a\\\\\\\"b", {"a\\\"b"}},
      {"a\"b c\"d", {"ab cd"}},
      {"\"a\"\"b\"", {"ab"}},
      {"\"abc", {"abc"}},
      {"x \"\" y", {"x", "", "y"}},
      {"", {""}},
      {"   ", {""}},
      {"a", {"a"}},
      {"a\tb\vc\fd", {"a", "b", "c", "d"}},
      {"\"a\tb\"", {"a\tb"}},
      {"\xe4\xbd\xa0 \xff", {"\xe4\xbd\xa0", "\xff"}},
      {"a\\\\\\\\\"", {"a\\\\"}},
  };
  for (const auto& c : cases) EXPECT_EQ(split(c.text), c.tokens) << c.text;
}

TEST(SplitCommandLine, ArrayEntryAfterLastTokenExists) {
  std::string text = "x";
  const cmdline::TokenList list = cmdline::split_command_line(text.data());
  ASSERT_EQ(list.count, 1);
  EXPECT_EQ(list.tokens[1], text.data() + 2);
}

TEST(QuoteArgument, WrapsAndEscapes) {
  const std::pair<const char*, const char*> cases[] = {
      {"abc", "\"abc\""},           {"a b", "\"a b\""},   {"a\"b", "\"a\\\"b\""},
      {"a\\\"b", "\"a\\\\\\\"b\""}, {"a\\b", "\"a\\b\""}, {"ab\\", "\"ab\\\\\""},
      {"ab\\\\", "\"ab\\\\\\\\\""}, {"", "\"\""},         {"\"", "\"\\\"\""},
  };
  for (const auto& [arg, quoted] : cases) EXPECT_EQ(quote(arg), quoted) << arg;
}

// Random byte strings heavy in the characters the rules care about.
std::string random_argument(std::mt19937& rng) {
  static const char alphabet[] = {' ',    '\t',   '"',    '\\', '\\', 'a', 'Z',
                                  '\x80', '\xff', '\xe9', '\v', '\n', '*', '?'};
  std::uniform_int_distribution<int> length(0, 12);
  std::uniform_int_distribution<std::size_t> pick(0, sizeof alphabet - 1);
  std::string s;
  for (int n = length(rng); n > 0; --n) s.push_back(alphabet[pick(rng)]);
  return s;
}

TEST(Codec, QuotedArgumentsSplitBackExactly) {
  fake::reset();
  std::mt19937 rng(20261208);
  for (int round = 0; round < 5000; ++round) {
    const std::string arg = random_argument(rng);
    const std::string quoted = quote(arg);
    EXPECT_LE(quoted.size(), 2 * arg.size() + 2);
    ASSERT_EQ(split(quoted), std::vector<std::string>{arg}) << quoted;

    std::vector<std::string> list(static_cast<std::size_t>(round % 5));
    std::string line;
    for (auto& item : list) {
      item = random_argument(rng);
      line += (line.empty() ? "" : " ") + quote(item);
    }
    if (list.empty()) continue;
    ASSERT_EQ(split(line), list) << line;
  }
}

}  // namespace
