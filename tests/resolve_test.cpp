#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "fake_platform.h"
#include "locate/locate.h"
#include "platform/programs.h"

namespace {

constexpr const char* script = "C:\\Py\\Scripts\\run-script.py";

struct Resolved {
  bool ok;
  std::string path;
  std::string token;  // as resolution left it
};

Resolved resolve(std::string token, const char* script_path = script) {
  token.push_back('\0');
  locate::Unresolved why{};
  const HeapArray<char> block = locate::resolve_interpreter(token.data(), script_path, &why);
  return {block != nullptr, block ? block.get() : "", token.c_str()};
}

class Resolve : public ::testing::Test {
 protected:
  void SetUp() override { fake::reset(); }
  void TearDown() override { EXPECT_EQ(fake::state().open_keys, 0); }
};

TEST_F(Resolve, AbsoluteTokensAreTakenAsTheyStand) {
  const std::pair<const char*, const char*> cases[] = {
      {"C:\\Py\\python.exe", "C:\\Py\\python.exe"},
      {"C:python.exe", "C:python.exe"},
      {"\\Py\\python.exe", "\\Py\\python.exe"},
      {"\\\\server\\share\\python.exe", "\\\\server\\share\\python.exe"},
      {"/usr/bin/python", "\\usr\\bin\\python"},
      {"C:/Py/python.exe", "C:\\Py\\python.exe"},
  };
  fake::state().search_result = "C:\\Found\\python.exe";
  for (const auto& [token, expected] : cases) {
    fake::state().calls.clear();
    fake::state().files[expected];
    const Resolved r = resolve(token);
    EXPECT_EQ(r.path, expected);
    EXPECT_EQ(r.token, expected) << "slashes are converted in place";
    EXPECT_EQ(fake::state().calls.size(), 1U) << token << ": no stage runs, one look";
  }
}

// C:\Py\Scripts\run.exe, moved with its Python: files appear one by one.
TEST_F(Resolve, AbsoluteTokenThatIsGoneFromAMovedTree) {
  const std::pair<const char*, const char*> added_then_started[] = {
      {"C:\\python.exe", "C:\\Old\\python.exe"},
      {"C:\\Py\\python.exe", "C:\\Py\\python.exe"},
      {"C:\\Py\\Scripts\\python.exe", "C:\\Py\\Scripts\\python.exe"},
      {"C:\\Old\\python.exe", "C:\\Old\\python.exe"},
  };
  for (const auto& [added, started] : added_then_started) {
    fake::state().files[added];
    EXPECT_EQ(resolve("C:\\Old\\python.exe").path, started) << added;
  }
}

// From a launcher at a drive's root, the root alone: "C:python.exe" would
// be the drive's working directory.
TEST_F(Resolve, MovedTreeFromADriveRootLooksInTheRootOnly) {
  fake::state().files["C:python.exe"];
  EXPECT_EQ(resolve("C:\\Old\\python.exe", "C:\\run-script.py").path, "C:\\Old\\python.exe");
  fake::state().files["C:\\python.exe"];
  EXPECT_EQ(resolve("C:\\Old\\python.exe", "C:\\run-script.py").path, "C:\\python.exe");
}

TEST_F(Resolve, RelativeTokensStandForThePythonFound) {
  fake::state().search_result = "C:\\Found\\python.exe";
  for (const char* token : {"python.exe", "pythonw.exe", "bin\\python.exe", ""})
    EXPECT_EQ(resolve(token).path, "C:\\Found\\python.exe") << token;
}

TEST_F(Resolve, StagesRunInOrderUntilOneFinds) {
  resolve("python.exe");
  const std::vector<std::string> all = {
      "search python.exe",
      "regopen SOFTWARE\\Python\\Pythoncore\\ 0x20119",
      "regopen SOFTWARE\\Python\\Pythoncore\\ 0x20219",
      "exists C:\\Py\\python.exe",
      "regopen HKCU SOFTWARE\\Python\\Pythoncore\\ 0x20019",
  };
  EXPECT_EQ(fake::state().calls, all);

  fake::reset();
  fake::add_version(fake::view32, "2.7", std::string("C:\\Py32", 8));
  fake::add_version(fake::view64, "2.6", std::string("C:\\Py64", 8));
  EXPECT_EQ(resolve("python.exe").path, "C:\\Py64\\python.exe");
  fake::state().search_result = "C:\\OnPath\\python.exe";
  EXPECT_EQ(resolve("python.exe").path, "C:\\OnPath\\python.exe");
}

TEST_F(Resolve, SixtyFourBitViewFirstThenThirtyTwo) {
  fake::add_version(fake::view32, "2.7", std::string("C:\\Py32", 8));
  EXPECT_EQ(resolve("python.exe").path, "C:\\Py32\\python.exe");
  // A 64-bit view with a version but nothing usable falls through too.
  fake::add_version(fake::view64, "2.7", std::nullopt);
  EXPECT_EQ(resolve("python.exe").path, "C:\\Py32\\python.exe");
  // The 32-bit view's choice owes nothing to the 64-bit view's.
  fake::reset();
  fake::add_version(fake::view64, "3.14", std::nullopt);
  fake::add_version(fake::view32, "3.9", std::string("C:\\Py39", 8));
  EXPECT_EQ(resolve("python.exe").path, "C:\\Py39\\python.exe");
}

struct VersionCase {
  std::vector<std::string> names;
  std::string chosen;  // "": none, the fallback
  std::vector<std::string> gone = {};
};

TEST_F(Resolve, RegistryVersionChoice) {
  const VersionCase cases[] = {
      {{"2.6", "2.7"}, "2.7"},
      {{"2.7", "3.14", "2.6"}, "2.7"},
      {{"2.5", "2.6", "3.1"}, "2.6"},
      {{"2.7.1", "2.7-32", "2.6"}, "2.6"},
      {{"2.70"}, "2.70"},
      // As the registry lists them (string order), newest not last.
      {{"3.10", "3.14", "3.9"}, "3.14"},
      {{"3.13", "3.14", "3.14-32", "3.14-arm64", "3.14t"}, "3.14"},
      {{"10.0", "9.9"}, "10.0"},
      {{"4294967299.0", "3.14"}, "4294967299.0"},
      {{"3.14t", "2.5"}, "2.5"},
      {{"3.14t", "3.13t"}, "3.14t"},
      {{"3.1", "4.", "4.x", "x4.0", "dev"}, "3.1"},
      {{"dev", "main"}, "main"},
      {{"3.14-32", "3.14-arm64"}, "3.14-arm64"},
      {{"3.014-32", "3.14-arm64"}, "3.14-arm64"},
      {{"3.1", "3-14"}, "3.1"},
      {{"3.13", "3.14t-32"}, "3.13"},
      {{"3.14", "2.70"}, "3.14"},
      {{"3.14", "3.6"}, "3.14"},
      {{"3.14", "3." + std::string(300, '9')}, "3.14"},
      {{"3.14", "3.15"}, "3.14", {"3.15"}},
      {{"3.14", "3.15"}, "", {"3.14", "3.15"}},
  };
  for (const auto& c : cases) {
    fake::reset();
    for (const auto& name : c.names)
      fake::add_version(fake::view64, name, "C:\\Py" + name + std::string(1, '\0'));
    for (const auto& name : c.gone) fake::state().files.erase("C:\\Py" + name + "\\python.exe");
    EXPECT_EQ(resolve("python.exe").path, "C:\\Py" + c.chosen + "\\python.exe");
  }
}

TEST_F(Resolve, UnreadableVersionNamesAreSkipped) {
  fake::add_version(fake::view64, "3.1", std::string("C:\\Py31", 8));
  fake::state().registry[fake::view64]["software\\python\\pythoncore\\"].subkeys.emplace_back();
  EXPECT_EQ(resolve("python.exe").path, "C:\\Py31\\python.exe");

  // No name read at all: the stage finds nothing.
  fake::reset();
  auto& versions = fake::state().registry[fake::view64]["software\\python\\pythoncore\\"];
  versions.subkeys = {std::nullopt, std::nullopt};
  EXPECT_EQ(resolve("python.exe").path, "C:\\Py\\python.exe");
  for (const std::string& call : fake::state().calls)
    EXPECT_EQ(call.find("InstallPath"), std::string::npos) << call;
}

TEST_F(Resolve, RegistryFailuresFallThrough) {
  // 64-bit: an InstallPath key without any value; 32-bit: the count fails.
  fake::add_version(fake::view64, "2.7", std::nullopt);
  fake::state().registry[fake::view64]["software\\python\\pythoncore\\2.7\\installpath\\"];
  auto& counted = fake::state().registry[fake::view32]["software\\python\\pythoncore\\"];
  counted.subkeys.emplace_back("2.7");
  counted.count_fails = true;
  EXPECT_EQ(resolve("python.exe").path, "C:\\Py\\python.exe");
  EXPECT_EQ(fake::state().stderr_text, "") << "no value is not a value too long";
}

TEST_F(Resolve, VersionTooLongForTheKeyPathIsNotFound) {
  const std::string fits(214, '9');
  fake::add_version(fake::view64, fits, std::string("C:\\Fits", 8));
  EXPECT_EQ(resolve("python.exe").path, "C:\\Fits\\python.exe");
  fake::reset();
  fake::add_version(fake::view64, fits + "9", std::string("C:\\Long", 8));
  EXPECT_EQ(resolve("python.exe").path, "C:\\Py\\python.exe");
}

TEST_F(Resolve, TrailingBackslashInstallDirKeepsBothBackslashes) {
  fake::add_version(fake::view64, "2.5", std::string("C:\\Python25\\", 13));
  fake::add_version(fake::view64, "2.6", std::string("C:\\Python26\\", 13));
  fake::add_version(fake::view64, "3.1", std::string("C:\\Python31\\", 13));
  EXPECT_EQ(resolve("python.exe").path, "C:\\Python26\\\\python.exe");
}

// The program's own value by name, else the install folder and its name.
TEST_F(Resolve, InstallPathValuesByName) {
  using Values = std::vector<std::pair<std::string, std::string>>;  // as written
  const platform::Program* const gui = &platform::windows_windowless;
  const std::string dir("C:\\P\0", 5), exe("C:\\P\\py.exe\0", 12),
      fits = "C:\\" + std::string(256, 'p');
  const std::tuple<Values, const platform::Program*, std::string> cases[] = {
      {{{"", dir}, {"ExecutablePath", exe}}, nullptr, "C:\\P\\py.exe"},
      {{{"ExecutablePath", exe}, {"", dir}}, nullptr, "C:\\P\\py.exe"},
      {{{"ExecutablePath", std::string(1, '\0')}, {"", dir}}, nullptr, "C:\\P\\python.exe"},
      {{{"ExecutablePath", dir}, {"WindowedExecutablePath", exe}}, gui, "C:\\P\\py.exe"},
      {{{"ExecutablePath", exe}, {"", dir}}, gui, "C:\\P\\pythonw.exe"},
      {{{"ExecutablePath", fits + '\0'}}, nullptr, fits},
      {{{"ExecutablePath", fits + "p"}, {"", dir}}, nullptr, "C:\\Py\\python.exe"},  // warned
  };
  for (const auto& [values, program, expected] : cases) {
    fake::reset();
    fake::state().program = program;
    fake::state().registry[fake::view64]["software\\python\\pythoncore\\"].subkeys = {"3.14"};
    fake::state()
        .registry[fake::view64]["software\\python\\pythoncore\\3.14\\installpath\\"]
        .values = values;
    fake::state().files[expected];
    EXPECT_EQ(resolve("python.exe").path, expected);
    EXPECT_EQ(fake::state().stderr_text.empty(), expected != "C:\\Py\\python.exe") << expected;
  }
}

// Install directory data of a given size, terminator included.
std::string install_dir(std::size_t size_with_terminator) {
  std::string dir = "C:\\" + std::string(size_with_terminator - 4, 'd');
  dir.push_back('\0');
  return dir;
}

TEST_F(Resolve, InstallDirLengthsAroundTheBuffer) {
  const std::string warning =
      "Found python in the registry, but the internal buffer was not long "
      "enough (partial path=";
  for (const std::size_t size : {249U, 250U, 259U, 260U, 261U, 300U}) {
    fake::reset();
    const std::string data = install_dir(size);
    fake::add_version(fake::view64, "2.7", data);
    const Resolved r = resolve("python.exe");
    const std::string dir = data.substr(0, size - 1);
    if (size <= 249) {
      EXPECT_EQ(r.path, dir + "\\python.exe");
      EXPECT_EQ(fake::state().stderr_text, "");
      continue;
    }
    // A path cut short would only fail later: warn, then look elsewhere.
    EXPECT_EQ(r.path, "C:\\Py\\python.exe") << size;
    const std::string shown = size <= 260 ? dir : "";
    EXPECT_EQ(fake::state().stderr_text, warning + shown + "\n") << size;
  }
}

struct UnterminatedCase {
  platform::PathStyle style;
  std::size_t length;  // of the data, which has no terminator of its own
  bool fits;           // directory, separator, program and terminator
};

TEST_F(Resolve, InstallDirWithoutTerminator) {
  using platform::PathStyle;
  const UnterminatedCase cases[] = {
      {PathStyle::Windows, 9, true},    {PathStyle::Windows, 248, true},
      {PathStyle::Windows, 249, false}, {PathStyle::Windows, 260, false},
      {PathStyle::Posix, 251, true},    {PathStyle::Posix, 252, false},
  };
  for (const auto& c : cases) {
    fake::reset();
    fake::state().style = c.style;
    const std::string dir(c.length, 'x');
    fake::add_version(fake::view64, "2.7", dir);
    const Resolved r = resolve("python.exe");
    const bool windows = c.style == PathStyle::Windows;
    if (c.fits) {
      EXPECT_EQ(r.path, dir + (windows ? "\\python.exe" : "/python3")) << c.length;
      EXPECT_EQ(fake::state().stderr_text, "") << c.length;
      continue;
    }
    EXPECT_EQ(r.path, windows ? "C:\\Py\\python.exe" : "python.exe") << c.length;
    const std::string& err = fake::state().stderr_text;
    EXPECT_EQ(err.substr(err.find('=') + 1), dir.substr(0, 259) + "\n") << c.length;
  }
}

TEST_F(Resolve, SearchPathTooLongWarnsAndGoesOn) {
  const std::string warning =
      "Found python on the path, but the internal buffer was not long enough "
      "(partial path=";
  for (const std::size_t length : {259U, 260U, 300U}) {
    fake::reset();
    const std::string found = "C:\\" + std::string(length - 14, 'p') + "\\python.exe";
    ASSERT_EQ(found.size(), length);
    fake::state().search_result = found;
    const Resolved r = resolve("python.exe");
    if (length < 260) {
      EXPECT_EQ(r.path, found);
      continue;
    }
    EXPECT_EQ(r.path, "C:\\Py\\python.exe");
    EXPECT_EQ(fake::state().stderr_text, warning + found.substr(0, 259) + "\n");
  }
}

struct FallbackCase {
  const char* script;
  const char* token;
  const char* expected;
};

TEST_F(Resolve, FallbackToTheDirectoryAboveTheScript) {
  const FallbackCase cases[] = {
      {"C:\\Py\\Scripts\\run-script.py", "python.exe", "C:\\Py\\python.exe"},
      {"C:\\Py\\Scripts\\run-script.py", "bin\\python.exe", "C:\\Py\\bin\\python.exe"},
      {"C:\\Py\\Scripts\\run-script.py", "", "C:\\Py\\"},
      {"C:\\run-script.py", "python.exe", "C:\\python.exe"},
      {"C:\\x\\run-script.py", "python.exe", "C:\\python.exe"},
      {"C:\\x\\y\\\\run-script.py", "python.exe", "C:\\x\\y\\\\python.exe"},
      {"run-script.py", "python.exe", "python.exe"},
      {"Scripts\\run-script.py", "python.exe", "python.exe"},
  };
  for (const auto& c : cases) EXPECT_EQ(resolve(c.token, c.script).path, c.expected) << c.script;
}

TEST_F(Resolve, FallbackThatDoesNotFitGivesNoPath) {
  const std::string dir = "C:\\" + std::string(240, 'd') + "\\Scripts\\";
  EXPECT_EQ(resolve(std::string(15, 't'), (dir + "r-script.py").c_str()).path.size(), 259U);
  EXPECT_FALSE(resolve(std::string(16, 't'), (dir + "r-script.py").c_str()).ok);
}

TEST_F(Resolve, PosixPathsUseTheSlash) {
  fake::state().style = platform::PathStyle::Posix;
  const FallbackCase cases[] = {
      {"/opt/py/bin/run-script.py", "/usr/bin/python3", "/usr/bin/python3"},
      {"/opt/py/bin/run-script.py", "python3", "/opt/py/python3"},
      {"/opt/py/bin/run-script.py", "C:python3", "/opt/py/C:python3"},
      {"/opt/py/bin/run-script.py", "a\\b", "/opt/py/a\\b"},
      {"/run-script.py", "python3", "/python3"},
  };
  for (const auto& c : cases) EXPECT_EQ(resolve(c.token, c.script).path, c.expected) << c.token;
  EXPECT_EQ(fake::state().calls[3], "search python3");
}

struct UserCase {
  const char* name;
  std::vector<std::string> user_versions;  // install dir C:\Users\u\Py<version>
  const char* all_users;                   // 2.7's install dir in the 64-bit view, or null
  bool fallback_exists;
  std::string expected;
};

// A per-user install is looked for only where the launch would fail today.
TEST_F(Resolve, CurrentUserInstallsAfterTheFallback) {
  const UserCase cases[] = {
      {"per-user only", {"3.12"}, nullptr, false, "C:\\Users\\u\\Py3.12\\python.exe"},
      {"32-bit per-user tag", {"3.12-32"}, nullptr, false, "C:\\Users\\u\\Py3.12-32\\python.exe"},
      {"all-users first", {"3.12"}, "C:\\Py27", false, "C:\\Py27\\python.exe"},
      {"an existing fallback first", {"3.12"}, nullptr, true, "C:\\Py\\python.exe"},
      {"the newest", {"3.12", "3.9"}, nullptr, false, "C:\\Users\\u\\Py3.12\\python.exe"},
      {"2.7 preferred", {"2.7", "3.12"}, nullptr, false, "C:\\Users\\u\\Py2.7\\python.exe"},
      {"none: the fallback", {}, nullptr, false, "C:\\Py\\python.exe"},
  };
  for (const auto& c : cases) {
    fake::reset();
    for (const std::string& version : c.user_versions)
      fake::add_version(fake::user, version, "C:\\Users\\u\\Py" + version + '\0');
    if (c.all_users != nullptr)
      fake::add_version(fake::view64, "2.7", std::string(c.all_users) + '\0');
    if (c.fallback_exists) fake::state().files["C:\\Py\\python.exe"] = "";
    EXPECT_EQ(resolve("python.exe").path, c.expected) << c.name;
    EXPECT_EQ(fake::state().stderr_text, "") << c.name;
  }
  // The same bounds and warning; pythonw.exe for the windowless program.
  fake::reset();
  fake::add_version(fake::user, "3.12", install_dir(250));
  EXPECT_EQ(resolve("python.exe").path, "C:\\Py\\python.exe");
  EXPECT_EQ(fake::state().stderr_text.rfind("Found python in the registry", 0), 0U);
  fake::reset();
  fake::state().program = &platform::windows_windowless;
  fake::add_version(fake::user, "3.12", std::string("C:\\U\\Py") + '\0');
  EXPECT_EQ(resolve("pythonw.exe").path, "C:\\U\\Py\\pythonw.exe");
}

struct LauncherDirCase {
  const char* script;
  const char* token;
  const char* expected;
};

TEST_F(Resolve, LauncherDirIsTheLaunchersOwnDirectory) {
  const LauncherDirCase cases[] = {
      {"C:\\Env\\Scripts\\run-script.py", "<launcher_dir>\\..\\python.exe", "C:\\Env\\python.exe"},
      {"C:\\Env\\Scripts\\run-script.py", "<LAUNCHER_Dir>/../python.exe", "C:\\Env\\python.exe"},
      {"C:\\Env\\Scripts\\run-script.py", "<launcher_dir>\\.\\python.exe",
       "C:\\Env\\Scripts\\python.exe"},
      {"C:\\Env\\Scripts\\run-script.py", "<launcher_dir>\\..//bin\\\\.\\python.exe",
       "C:\\Env\\bin\\python.exe"},
      {"C:\\Env\\Scripts\\run-script.py", "<launcher_dir>\\..\\my env\\python.exe",
       "C:\\Env\\my env\\python.exe"},
      {"C:\\Env\\Scripts\\run-script.py", "<launcher_dir>\\..\\..\\..\\..\\python.exe",
       "C:\\python.exe"},
      {"C:\\Env\\Scripts\\run-script.py", "<launcher_dir>\\py\\..\\..", "C:\\Env"},
      {"C:\\run-script.py", "<launcher_dir>\\..\\python.exe", "C:\\python.exe"},
      {"\\\\srv\\share\\Env\\run-script.py", "<launcher_dir>\\..\\..\\..\\python.exe",
       "\\\\srv\\share\\python.exe"},
      // Not the prefix: relative tokens, found by the fallback here.
      {"C:\\Env\\Scripts\\run-script.py", "<launcher_dir>python.exe",
       "C:\\Env\\<launcher_dir>python.exe"},
      {"C:\\Env\\Scripts\\run-script.py", "<launcher_dir>", "C:\\Env\\<launcher_dir>"},
      {"C:\\Env\\Scripts\\run-script.py", "<launcher_di>\\python.exe",
       "C:\\Env\\<launcher_di>\\python.exe"},
  };
  for (const auto& c : cases) {
    fake::reset();
    fake::state().calls.clear();
    const Resolved r = resolve(c.token, c.script);
    EXPECT_EQ(r.path, c.expected) << c.token;
    const bool searched = !fake::state().calls.empty();
    EXPECT_EQ(searched, std::string(c.expected).find('<') != std::string::npos) << c.token;
  }
  fake::state().style = platform::PathStyle::Posix;
  EXPECT_EQ(resolve("<launcher_dir>/../bin/python3", "/opt/env/bin/run-script.py").path,
            "/opt/env/bin/python3");
  EXPECT_EQ(resolve("<launcher_dir>/../../../../x", "/opt/env/bin/run-script.py").path, "/x");
}

TEST_F(Resolve, LauncherDirPathThatDoesNotFitIsTooLong) {
  // 3 + 240 + 1 = 244 for "C:\ddd...\", then the rest.
  const std::string deep_script = "C:\\" + std::string(240, 'd') + "\\run-script.py";
  for (const std::size_t rest : {15U, 16U, 200U}) {
    std::string token = "<launcher_dir>\\" + std::string(rest, 'p');
    token.push_back('\0');
    locate::Unresolved why = locate::Unresolved::NoPath;
    const HeapArray<char> block =
        locate::resolve_interpreter(token.data(), deep_script.c_str(), &why);
    if (rest == 15) {
      ASSERT_NE(block, nullptr);
      EXPECT_EQ(std::string(block.get()).size(), 259U);
      continue;
    }
    EXPECT_EQ(block, nullptr) << rest;
    EXPECT_EQ(why, locate::Unresolved::TooLong) << rest;
  }
  // Long on the way, short in the end: only the result must fit.
  std::string token = "<launcher_dir>\\" + std::string(200, 'p') + "\\..\\python.exe";
  EXPECT_EQ(resolve(token, deep_script.c_str()).path,
            "C:\\" + std::string(240, 'd') + "\\python.exe");
}

TEST_F(Resolve, PathBlockAlwaysEndsInATerminator) {
  const std::string long_path(400, 'a');
  const HeapArray<char> block = locate::make_path_block(long_path.c_str());
  EXPECT_EQ(std::string(block.get()), long_path.substr(0, 259));
  fake::state().allocations_left = 0;
  EXPECT_EQ(locate::make_path_block("x"), nullptr);
}

}  // namespace
