#include "locate/store_redirector.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "fake_platform.h"
#include "locate/locate.h"
#include "platform/programs.h"

namespace {

using Bytes = std::vector<unsigned char>;

void put_le(Bytes& out, std::uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<unsigned char>(value >> (8 * i)));
}

// An App Execution Alias as the file system returns it: the header, then
// the version and NUL-terminated UTF-16LE strings.
Bytes alias(const std::vector<std::string>& strings, std::uint32_t tag = 0x8000001B,
            std::uint32_t version = 3) {
  Bytes data;
  put_le(data, version, 4);
  for (const std::string& s : strings) {
    for (const char c : s) put_le(data, static_cast<unsigned char>(c), 2);
    put_le(data, 0, 2);
  }
  Bytes out;
  put_le(out, tag, 4);
  put_le(out, static_cast<std::uint32_t>(data.size()), 2);
  put_le(out, 0, 2);
  out.insert(out.end(), data.begin(), data.end());
  return out;
}

const std::string installer = "Microsoft.DesktopAppInstaller_8wekyb3d8bbwe";
const std::string redirector_target =
    "C:\\Program Files\\WindowsApps\\Microsoft.DesktopAppInstaller_1.21_x64__8wekyb3d8bbwe"
    "\\AppInstallerPythonRedirector.exe";

Bytes redirector() {
  return alias({installer, "Microsoft.DesktopAppInstaller_8wekyb3d8bbwe!PythonRedirector",
                redirector_target, "0"});
}

// The data length field changed to `length`, the bytes left as they are.
Bytes with_length(Bytes b, std::size_t length) {
  b[4] = static_cast<unsigned char>(length & 0xFFU);
  b[5] = static_cast<unsigned char>(length >> 8U);
  return b;
}

std::string as_string(const Bytes& b) { return {b.begin(), b.end()}; }

Bytes cut(Bytes b, std::size_t size) {
  b.resize(size);
  return b;
}

// Every test starts from a fresh fake: the suite also runs as one process.
class StoreRedirector : public ::testing::Test {
 protected:
  void SetUp() override { fake::reset(); }
};

struct ReparseCase {
  const char* name;
  Bytes data;
  bool redirector;
};

TEST_F(StoreRedirector, DecidedOnTheReparseData) {
  const Bytes r = redirector();
  const std::size_t data_size = r.size() - 8;
  const ReparseCase cases[] = {
      {"the redirector", r, true},
      {"the redirector in other cases",
       alias({"microsoft.desktopappinstaller_8WEKYB3D8BBWE", "x",
              "C:\\x\\appinstallerpythonredirector.EXE"}),
       true},
      {"a Store Python's alias",
       alias({"PythonSoftwareFoundation.Python.3.12_qbz5n2kfra8p0",
              "PythonSoftwareFoundation.Python.3.12_qbz5n2kfra8p0!Python",
              "C:\\Program Files\\WindowsApps\\PythonSoftwareFoundation.Python.3.12_3.12.2544.0_"
              "x64__qbz5n2kfra8p0\\python3.12.exe",
              "0"}),
       false},
      {"installer package, another target", alias({installer, "x", "C:\\x\\winget.exe"}), false},
      {"redirector target, another package", alias({"Other_8wekyb3d8bbwe", "x", redirector_target}),
       false},
      {"another tag (a symbolic link)", alias({installer, "x", redirector_target}, 0xA000000C),
       false},
      {"another version", alias({installer, "x", redirector_target}, 0x8000001B, 2), false},
      {"empty", {}, false},
      {"header only", cut(r, 8), false},
      {"version only", with_length(cut(r, 12), 4), false},
      {"target without its terminator", with_length(cut(r, r.size() - 6), data_size - 6), false},
      {"only two strings", alias({installer, "x"}), false},
      {"length larger than the data", with_length(r, data_size + 1), false},
      {"data cut short of its length", cut(r, r.size() - 1), false},
      {"length short of the target", with_length(r, data_size - 8), false},
      {"a string of an odd byte", with_length(cut(r, 13), 5), false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(locate::names_python_redirector(c.data), c.redirector) << c.name;
}

TEST_F(StoreRedirector, OnlyInMicrosoftWindowsApps) {
  const std::pair<const char*, bool> cases[] = {
      {"C:\\Users\\u\\AppData\\Local\\Microsoft\\WindowsApps\\python.exe", true},
      {"C:\\Users\\u\\AppData\\Local\\microsoft\\WINDOWSAPPS\\python.exe", true},
      {"C:/Users/u/AppData/Local/Microsoft/WindowsApps/python.exe", true},
      {"Microsoft\\WindowsApps\\python.exe", false},  // a search answers full paths
      {"C:\\WindowsApps\\python.exe", false},
      {"C:\\Microsoft\\WindowsApps\\sub\\python.exe", false},
      {"C:\\XMicrosoft\\WindowsApps\\python.exe", false},
      {"C:\\Microsoft\\WindowsApps", false},
      {"python.exe", false},
      {"", false},
  };
  for (const auto& [path, expected] : cases)
    EXPECT_EQ(locate::in_windows_apps(path), expected) << path;
}

struct SearchCase {
  const char* name;
  const platform::Program* program;
  std::vector<std::string> on_path;  // one find per place, in order
  std::map<std::string, std::string> reparse_points;
  const char* registry_dir;  // 2.7 in the 64-bit view, or null
  std::string expected;
};

TEST_F(StoreRedirector, SearchGoesOnPastIt) {
  const std::string apps = "C:\\Users\\u\\AppData\\Local\\Microsoft\\WindowsApps\\";
  const std::string stub = apps + "python.exe";
  const std::string other_stub = "D:\\Microsoft\\WindowsApps\\python.exe";
  const std::string r = as_string(redirector());
  const std::string store_python =
      as_string(alias({"PythonSoftwareFoundation.Python.3.12_qbz5n2kfra8p0", "x",
                       "C:\\Program Files\\WindowsApps\\Py\\python3.12.exe"}));
  const auto* console = &platform::windows_console;
  const SearchCase cases[] = {
      {"redirector, then a real one",
       console,
       {stub, "C:\\Py312\\python.exe"},
       {{stub, r}},
       nullptr,
       "C:\\Py312\\python.exe"},
      {"two redirectors, then a real one",
       console,
       {stub, other_stub, "C:\\Py312\\python.exe"},
       {{stub, r}, {other_stub, r}},
       nullptr,
       "C:\\Py312\\python.exe"},
      {"redirector only, a registry install",
       console,
       {stub},
       {{stub, r}},
       "C:\\Py27",
       "C:\\Py27\\python.exe"},
      {"redirector only and nothing else: the fallback",
       console,
       {stub},
       {{stub, r}},
       nullptr,
       "C:\\Py\\python.exe"},
      {"a Store Python's alias is used",
       console,
       {stub, "C:\\Py312\\python.exe"},
       {{stub, store_python}},
       "C:\\Py27",
       stub},
      {"an ordinary file there is used", console, {stub}, {}, "C:\\Py27", stub},
      {"redirector data elsewhere is not looked at",
       console,
       {"C:\\Py\\python.exe"},
       {{"C:\\Py\\python.exe", r}},
       nullptr,
       "C:\\Py\\python.exe"},
      {"windowless: pythonw.exe",
       &platform::windows_windowless,
       {apps + "pythonw.exe", "C:\\Py312\\pythonw.exe"},
       {{apps + "pythonw.exe", r}},
       nullptr,
       "C:\\Py312\\pythonw.exe"},
  };
  for (const auto& c : cases) {
    fake::reset();
    fake::State& s = fake::state();
    s.program = c.program;
    s.search_result = c.on_path.front();
    s.more_on_path.assign(c.on_path.begin() + 1, c.on_path.end());
    s.reparse_points = c.reparse_points;
    if (c.registry_dir != nullptr)
      fake::add_version(fake::view64, "2.7", std::string(c.registry_dir) + '\0');
    std::string token = "python.exe";
    locate::Unresolved why{};
    const HeapArray<char> path =
        locate::resolve_interpreter(token.data(), "C:\\Py\\Scripts\\run-script.py", &why);
    ASSERT_NE(path, nullptr) << c.name;
    EXPECT_EQ(path.get(), c.expected) << c.name;
    EXPECT_EQ(s.stderr_text, "") << c.name;
  }
  // A redirector whose path is too long for the buffer warns as any such
  // path does, and ends the search there.
  fake::reset();
  const std::string deep = "C:\\" + std::string(240, 'd') + "\\Microsoft\\WindowsApps\\python.exe";
  fake::state().search_result = deep;
  fake::state().more_on_path = {"C:\\Py312\\python.exe"};
  fake::state().reparse_points = {{deep, r}};
  std::string token = "python.exe";
  locate::Unresolved why{};
  EXPECT_STREQ(
      locate::resolve_interpreter(token.data(), "C:\\Py\\Scripts\\run-script.py", &why).get(),
      "C:\\Py\\python.exe");
  EXPECT_NE(fake::state().stderr_text.find("partial path=C:\\ddd"), std::string::npos);
}

}  // namespace
