#include "launcher/launch.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cmdline/cmdline.h"
#include "fake_platform.h"
#include "platform/programs.h"
#include "zip_bytes.h"

namespace {

constexpr const char* script = "C:\\Tools\\run-script.py";

class Launch : public ::testing::Test {
 protected:
  void SetUp() override { fake::reset(); }

  static int run(const std::vector<const char*>& args = {"run"}) {
    std::vector<const char*> argv = args;
    argv.push_back(nullptr);
    return launcher::launch(static_cast<int>(args.size()), argv.data());
  }
  static void script_text(const std::string& text) { fake::state().files[script] = text; }
};

TEST_F(Launch, ChildVectorSlotBySlot) {
  script_text("#!C:\\Py\\python.exe -u\nprint()\n");
  fake::state().spawn_result = {true, 0};
  EXPECT_EQ(run({"run", "x", "y z"}), 0);
  EXPECT_EQ(fake::state().spawned_path, "C:\\Py\\python.exe");
  const std::vector<std::string> expected = {"\"C:\\Py\\python.exe\"", "\"-u\"",
                                             "\"C:\\Tools\\run-script.py\"", "\"x\"", "\"y z\""};
  EXPECT_EQ(fake::state().spawned_argv, expected);
  EXPECT_EQ(fake::state().stderr_text, "");
}

TEST_F(Launch, NoArgumentsAndAwkwardArguments) {
  script_text("#!\"C:\\Program Files\\Py\\python.exe\" -E -s");
  run({"run"});
  EXPECT_EQ(fake::state().spawned_argv,
            (std::vector<std::string>{"\"C:\\Program Files\\Py\\python.exe\"", "\"-E\"", "\"-s\"",
                                      "\"C:\\Tools\\run-script.py\""}));
  run({"run", "", "a\"b", "c\\", "\xe9"});
  EXPECT_EQ(fake::state().spawned_argv,
            (std::vector<std::string>{"\"C:\\Program Files\\Py\\python.exe\"", "\"-E\"", "\"-s\"",
                                      "\"C:\\Tools\\run-script.py\"", "\"\"", "\"a\\\"b\"",
                                      "\"c\\\\\"", "\"\xe9\""}));
}

TEST_F(Launch, ZeroArgumentCountStillEndsTheVector) {
  script_text("#!C:\\Py\\python.exe");
  EXPECT_EQ(launcher::launch(0, nullptr), 0);
  EXPECT_EQ(fake::state().spawned_argv,
            (std::vector<std::string>{"\"C:\\Py\\python.exe\"", "\"C:\\Tools\\run-script.py\""}));
}

TEST_F(Launch, ExitStatusPassesThroughWhateverItsValue) {
  script_text("#!C:\\Py\\python.exe");
  for (const int status : {0, 1, 2, 3, 255, -1, static_cast<int>(0xC0000005U)}) {
    fake::state().spawn_result = {true, status};
    fake::state().stderr_text.clear();
    EXPECT_EQ(run(), status);
    EXPECT_EQ(fake::state().stderr_text, "");
    EXPECT_EQ(fake::state().failures_reported, 0) << "an interpreter's 2 is not ours";
  }
}

struct FailureCase {
  const char* name;
  void (*setup)();
  const char* message;
};

TEST_F(Launch, FailuresPrintOneMessageAndEndWithTwo) {
  static const std::string long_token = "<launcher_dir>\\" + std::string(200, 'p');
  static const std::string too_long = "Interpreter path too long " + long_token + "\n";
  static const std::string deep = "C:\\" + std::string(100, 'd') + "\\run";
  const FailureCase cases[] = {
      {"launcher_dir path too long",
       [] {
         fake::state().module_path = deep + ".exe";
         fake::state().files[deep + "-script.py"] = "#!" + long_token + " -u";
       },
       too_long.c_str()},
      {"missing script", [] {}, "Cannot open C:\\Tools\\run-script.py\n"},
      {"spawn fails",
       [] {
         script_text("#!C:\\Py\\python.exe");
         fake::state().spawn_result = {false, 0};
       },
       "Cound not exec C:\\Py\\python.exe"},
      {"no memory for the path block",
       [] {
         script_text("#!/usr/bin/python -u");
         fake::state().allocations_left = 1;  // the token array only
       },
       "Cannot find Python executable \\usr\\bin\\python\n"},
      {"module path fills its buffer",
       [] { fake::state().module_path = "C:\\" + std::string(260, 'm') + ".exe"; }, nullptr},
  };
  for (const auto& c : cases) {
    fake::reset();
    c.setup();
    EXPECT_EQ(run(), 2) << c.name;
    EXPECT_EQ(fake::state().failures_reported, 1) << c.name;
    if (c.message != nullptr) {
      EXPECT_EQ(fake::state().stderr_text, c.message) << c.name;
    } else {
      EXPECT_EQ(fake::state().stderr_text.rfind("Cannot open C:\\mmm", 0), 0U) << c.name;
    }
  }
}

struct CompanionCase {
  std::string module;
  std::string companion;
};

TEST_F(Launch, CompanionScriptPath) {
  const CompanionCase cases[] = {
      {"C:\\Tools\\run.exe", "C:\\Tools\\run-script.py"},
      {"D:\\a\\b.c.exe", "D:\\a\\b.c-script.py"},
      {"C:\\dir.d\\tool", "C:\\dir.d\\tool-script.py"},
      {"tool", "tool-script.py"},
      {"C:\\a\\.exe", "C:\\a\\-script.py"},
  };
  for (const auto& c : cases) {
    fake::reset();
    fake::state().module_path = c.module;
    EXPECT_EQ(run(), 2);
    EXPECT_EQ(fake::state().stderr_text, "Cannot open " + c.companion + "\n");
  }
  fake::reset();
  fake::state().style = platform::PathStyle::Posix;
  fake::state().module_path = "/home/u/.local/bin/tool";
  run();
  EXPECT_EQ(fake::state().stderr_text, "Cannot open /home/u/.local/bin/tool-script.py\n");
}

// POSIX passes the bytes of a line on as they are, even a character that
// the 256-byte cut ends within.
TEST_F(Launch, PosixTakesTheLineAsItsBytes) {
  fake::state().style = platform::PathStyle::Posix;
  fake::state().module_path = "/bin/run";
  fake::state().files["/bin/run-script.py"] = "#!/py " + std::string(249, 'o') + "\xD0\x96";
  EXPECT_EQ(run(), 0);
  EXPECT_EQ(fake::state().spawned_argv[1], "\"" + std::string(249, 'o') + "\xD0\"");
}

TEST_F(Launch, CompanionPathLimits) {
  // 245 + "-script.py" = 255 characters fits; one more does not.
  for (const std::size_t stem : {245U, 246U}) {
    fake::reset();
    const std::string path = "C:\\" + std::string(stem - 3, 'p');
    fake::state().module_path = path + ".exe";
    fake::state().files[path + "-script.py"] = "#!C:\\py.exe";
    const int status = run();
    if (stem == 245) {
      EXPECT_EQ(status, 0);
    } else {
      EXPECT_EQ(status, 2);
      EXPECT_EQ(fake::state().stderr_text, "Cannot open " + path + "-script.py\n");
    }
  }
}

struct LineCase {
  std::string content;
  std::string spawned;
  std::vector<std::string> options;
};

TEST_F(Launch, InterpreterLine) {
  const std::string long_tail(300, 'o');
  std::string euros;
  for (int i = 0; i < 245; ++i) euros += "\xE2\x82\xAC";
  const LineCase cases[] = {
      {"print('no line')\n", "C:\\python.exe", {}},
      {"", "C:\\python.exe", {}},
      {"# !C:\\x.exe\n", "C:\\python.exe", {}},
      {"#!", "C:\\", {}},
      {"#!C:\\x.exe -a\r\n-b", "C:\\x.exe", {"\"-a\""}},
      {"#!C:\\x.exe -a\r-b", "C:\\x.exe", {"\"-a\""}},
      {std::string("#!C:\\x.exe -a\0-b", 16), "C:\\x.exe", {"\"-a\""}},
      {"#!   C:\\x.exe\t-a  ", "C:\\x.exe", {"\"-a\""}},
      // The line is cut at 256 bytes: 11 for "#!C:\x.exe " and 245 more.
      {"#!C:\\x.exe " + long_tail, "C:\\x.exe", {"\"" + std::string(245, 'o') + "\""}},
      {"#!C:\\x.exe " + std::string(244, 'o') + "\r\n-b",
       "C:\\x.exe",
       {"\"" + std::string(244, 'o') + "\""}},
      {"#!\"<launcher_dir>\\..\\my env\\python.exe\" -u", "C:\\my env\\python.exe", {"\"-u\""}},
      // One UTF-8 byte-order mark before "#!" is skipped; it counts in the 256.
      {"\xEF\xBB\xBF#!C:\\x.exe -a\r\n", "C:\\x.exe", {"\"-a\""}},
      {"\xEF\xBB\xBF", "C:\\python.exe", {}},
      {"\xEF\xBB\xBFprint()\n", "C:\\python.exe", {}},
      {"\xEF\xBB\xBF\xEF\xBB\xBF#!C:\\x.exe", "C:\\python.exe", {}},
      {"\xEF\xBB#!C:\\x.exe", "C:\\python.exe", {}},
      {"\xEF\xBB\xBF#!C:\\x.exe " + long_tail, "C:\\x.exe", {"\"" + std::string(242, 'o') + "\""}},
      // Not UTF-8: read in the legacy code page (the fake's is Latin-1 with
      // 0x80 for the euro sign, three bytes in UTF-8, as in code page 1252).
      {"#!C:\\Pyth\xF6n\\x.exe -\xE9", "C:\\Pyth\xC3\xB6n\\x.exe", {"\"-\xC3\xA9\""}},
      {"#!C:\\Pyth\xC3\xB6n\\x.exe", "C:\\Pyth\xC3\xB6n\\x.exe", {}},
      {"#!C:\\x.exe " + std::string(245, '\x80'), "C:\\x.exe", {"\"" + euros + "\""}},
      // UTF-8 that the 256-byte cut ends within a character: the rest of it goes.
      {"#!C:\\x.exe " + std::string(244, 'o') + "\xD0\x96",
       "C:\\x.exe",
       {"\"" + std::string(244, 'o') + "\""}},
  };
  for (const auto& c : cases) {
    fake::reset();
    script_text(c.content);
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(fake::state().spawned_path, c.spawned) << c.content;
    std::vector<std::string> expected = {cmdline::quote_argument(c.spawned.c_str()).get()};
    expected.insert(expected.end(), c.options.begin(), c.options.end());
    expected.emplace_back("\"C:\\Tools\\run-script.py\"");
    EXPECT_EQ(fake::state().spawned_argv, expected) << c.content;
  }
}

TEST_F(Launch, UnreadableScriptRunsTheDefaultLine) {
  script_text("#!C:\\x.exe");
  fake::state().read_fails = true;
  fake::state().search_result = "C:\\Found\\python.exe";
  EXPECT_EQ(run(), 0);
  EXPECT_EQ(fake::state().spawned_path, "C:\\Found\\python.exe");
  const std::vector<std::string> calls = {"open C:\\Tools\\run-script.py", "close",
                                          "search python.exe", "spawn C:\\Found\\python.exe"};
  EXPECT_EQ(fake::state().calls, calls);
}

TEST_F(Launch, WindowlessProgramDiffersOnlyInItsNames) {
  fake::state().program = &platform::windows_windowless;
  fake::state().module_path = "C:\\Tools\\paint.exe";
  fake::state().files["C:\\Tools\\paint-script.pyw"] = "import tkinter\n";
  // Too long on the search path: a warning, then the registry finds it.
  fake::state().search_result = "C:\\" + std::string(300, 'p') + "\\pythonw.exe";
  fake::add_version(fake::view64, "2.7", std::string("C:\\Py27", 8));
  EXPECT_EQ(run({"paint", "a b"}), 0);
  EXPECT_EQ(fake::state().calls.at(2), "search pythonw.exe");
  EXPECT_EQ(fake::state().spawned_argv,
            (std::vector<std::string>{"\"C:\\Py27\\pythonw.exe\"",
                                      "\"C:\\Tools\\paint-script.pyw\"", "\"a b\""}));
  EXPECT_NE(fake::state().stderr_text, "");
  EXPECT_EQ(fake::state().failures_reported, 0) << "a warning before a good start shows nothing";
}

struct SingleFileCase {
  const char* name;
  std::string before_archive;  // what precedes the archive, after the program
  std::string spawned;         // empty: the launch fails
  std::vector<std::string> options;
};

// The program with an archive appended runs itself as the script, with the
// interpreter line that ends just before the archive.
TEST_F(Launch, SingleFile) {
  const std::string program = std::string(100, 'M') + '\0';
  const std::string longest = "#!C:\\x.exe " + std::string(245, 'o');  // 256 bytes
  const SingleFileCase cases[] = {
      {"a line", "#!C:\\x.exe -a\n", "C:\\x.exe", {"\"-a\""}},
      {"CRLF", "#!C:\\x.exe -a\r\n", "C:\\x.exe", {"\"-a\""}},
      {"after a CR", "junk\r#!C:\\x.exe\n", "C:\\x.exe", {}},
      {"no line end before the archive", "#!C:\\x.exe", "C:\\python.exe", {}},
      {"no #!", "C:\\x.exe\n", "C:\\python.exe", {}},
      {"a byte-order mark", "\xEF\xBB\xBF#!C:\\x.exe\n", "C:\\x.exe", {}},
      {"the longest line", longest + "\n", "C:\\x.exe", {"\"" + std::string(245, 'o') + "\""}},
      {"the longest line, CRLF",
       longest + "\r\n",
       "C:\\x.exe",
       {"\"" + std::string(245, 'o') + "\""}},
      {"one byte longer", longest + "o\n", "", {}},
      {"one byte longer, CRLF", longest + "o\r\n", "", {}},
      {"much longer", longest + std::string(1000, 'o') + "\n", "", {}},
  };
  for (const auto& c : cases) {
    fake::reset();
    fake::state().files["C:\\Tools\\run.exe"] = program + c.before_archive + zip::archive();
    script_text("#!C:\\companion.exe\n");  // never read
    const int status = run({"run", "a b"});
    EXPECT_EQ(fake::state().open_files, 0) << c.name;
    if (c.spawned.empty()) {
      EXPECT_EQ(status, 2) << c.name;
      EXPECT_EQ(fake::state().stderr_text, "Interpreter line too long in C:\\Tools\\run.exe\n")
          << c.name;
      EXPECT_EQ(fake::state().failures_reported, 1) << c.name;
      continue;
    }
    EXPECT_EQ(status, 0) << c.name;
    std::vector<std::string> expected = {cmdline::quote_argument(c.spawned.c_str()).get()};
    expected.insert(expected.end(), c.options.begin(), c.options.end());
    expected.insert(expected.end(), {"\"C:\\Tools\\run.exe\"", "\"a b\""});
    EXPECT_EQ(fake::state().spawned_argv, expected) << c.name;
    EXPECT_EQ(fake::state().stderr_text, "") << c.name;
  }
}

// Without an archive that a zip reader would find, the companion runs as it
// always has, and its messages are the same.
TEST_F(Launch, ProgramWithoutAnArchiveRunsItsCompanion) {
  const std::string zip = zip::archive();
  for (const std::string& tail : {std::string(), zip.substr(0, zip.size() - 1)}) {
    fake::reset();
    fake::state().files["C:\\Tools\\run.exe"] = "MZ#!C:\\x.exe\n" + tail;
    script_text("#!C:\\companion.exe -u\n");
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(fake::state().spawned_argv,
              (std::vector<std::string>{"\"C:\\companion.exe\"", "\"-u\"",
                                        "\"" + std::string(script) + "\""}));
    fake::state().files.erase(script);
    EXPECT_EQ(run(), 2);
    EXPECT_EQ(fake::state().stderr_text, "Cannot open C:\\Tools\\run-script.py\n");
    EXPECT_EQ(fake::state().open_files, 0);
  }
}

}  // namespace
