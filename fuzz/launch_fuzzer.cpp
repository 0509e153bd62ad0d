// The whole launch over the fake platform with hostile inputs: script
// bytes, module paths near and past the buffer limits, registry contents
// and search results. Every run must end with the interpreter's status, or
// with 2 after one of the five failure messages.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "fake_platform.h"
#include "launcher/launch.h"

namespace {

std::optional<std::string> maybe_string(FuzzedDataProvider& in, std::size_t max) {
  if (!in.ConsumeBool()) return std::nullopt;
  return in.ConsumeRandomLengthString(max);
}

void fill_view(FuzzedDataProvider& in, std::uint32_t view) {
  if (!in.ConsumeBool()) return;
  auto& keys = fake::state().registry[view];
  auto& versions = keys["software\\python\\pythoncore\\"];
  versions.count_fails = in.ConsumeBool();
  for (int n = in.ConsumeIntegralInRange(0, 4); n > 0; --n) {
    const std::optional<std::string> name = maybe_string(in, 300);
    versions.subkeys.push_back(name);
    if (name) {
      std::string key = "software\\python\\pythoncore\\" + *name + "\\installpath\\";
      for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      for (const char* value : {"", "ExecutablePath"})
        if (const auto data = maybe_string(in, 300)) keys[key].values.emplace_back(value, *data);
    }
  }
}

// The Store's redirector: an App Execution Alias for the App Installer.
std::string redirector_data() {
  std::string data("\x03\0\0\0", 4);
  for (const char* text : {"Microsoft.DesktopAppInstaller_8wekyb3d8bbwe", "id",
                           "C:\\x\\AppInstallerPythonRedirector.exe"}) {
    for (const char* c = text; *c != '\0'; ++c) data += std::string{*c, '\0'};
    data += std::string(2, '\0');
  }
  const auto length = static_cast<char>(data.size());
  return std::string{'\x1B', '\0', '\0', '\x80', length, '\0', '\0', '\0'} + data;
}

bool ends_with(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  fake::reset();
  fake::State& s = fake::state();
  s.style = in.ConsumeBool() ? platform::PathStyle::Windows : platform::PathStyle::Posix;
  s.module_path = in.ConsumeRandomLengthString(300);
  s.read_fails = in.ConsumeBool();
  const std::string store_stub = "C:\\U\\AppData\\Local\\Microsoft\\WindowsApps\\python.exe";
  s.search_result =
      in.ConsumeBool() ? std::optional<std::string>(store_stub) : maybe_string(in, 400);
  for (int n = in.ConsumeIntegralInRange(0, 2); n > 0; --n)
    s.more_on_path.push_back(in.ConsumeBool() ? store_stub : in.ConsumeRandomLengthString(300));
  if (in.ConsumeBool())
    s.reparse_points[store_stub] =
        in.ConsumeBool() ? redirector_data() : in.ConsumeRandomLengthString(200);
  fill_view(in, fake::view64);
  fill_view(in, fake::view32);
  fill_view(in, fake::user);
  s.spawn_result = {in.ConsumeBool(), in.ConsumeIntegral<int>()};
  if (in.ConsumeBool()) s.allocations_left = in.ConsumeIntegralInRange(0, 12);
  std::vector<std::string> args(in.ConsumeIntegralInRange<std::size_t>(0, 4));
  for (std::string& arg : args) arg = in.ConsumeRandomLengthString(64);
  if (in.ConsumeBool()) s.any_file = in.ConsumeRemainingBytesAsString();

  std::vector<const char*> argv;
  for (const std::string& arg : args) argv.push_back(arg.c_str());
  argv.push_back(nullptr);
  const int status = launcher::launch(static_cast<int>(args.size()), argv.data());

  const bool spawned = !s.calls.empty() && s.calls.back().rfind("spawn ", 0) == 0;
  if (spawned && s.spawn_result.started) {
    if (status != s.spawn_result.status) std::abort();
    return 0;
  }
  const std::string& err = s.stderr_text;
  const bool one_message = err.find("Cannot open ") != std::string::npos ||
                           err.find("Cannot find Python executable ") != std::string::npos ||
                           err.find("Cound not exec ") != std::string::npos ||
                           err.find("Interpreter path too long ") != std::string::npos ||
                           err.find("Interpreter line too long in ") != std::string::npos;
  if (status != 2 || !one_message) std::abort();
  if (!ends_with(err, "\n") && err.find("Cound not exec ") == std::string::npos) std::abort();
  return 0;
}
