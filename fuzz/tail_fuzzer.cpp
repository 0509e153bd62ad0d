// The end of the launcher's own file, any bytes: the archive reader must
// agree with a plain reading of the zip rules, and the launch must then run
// the program itself, fail on a line too long, or look for its companion.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fake_platform.h"
#include "launcher/appended_archive.h"
#include "launcher/launch.h"

namespace {

std::uint32_t field(const std::string& s, std::size_t at, int bytes) {
  std::uint32_t value = 0;
  for (int i = bytes - 1; i >= 0; --i)
    value = value << 8 | static_cast<unsigned char>(s[at + static_cast<std::size_t>(i)]);
  return value;
}

// The rules as written: the last end record whose comment ends the file,
// within a comment's reach of the end, and a directory that starts inside
// the file with its signature.
std::int64_t expected_start(const std::string& file) {
  if (file.size() < 22) return -1;
  const std::size_t lowest = file.size() > 22 + 0xFFFF ? file.size() - 22 - 0xFFFF : 0;
  for (std::size_t at = file.size() - 22;; --at) {
    if (file.compare(at, 4, "PK\x05\x06") == 0 &&
        field(file, at + 20, 2) == file.size() - 22 - at) {
      const std::int64_t directory = static_cast<std::int64_t>(at) - field(file, at + 12, 4);
      const std::int64_t start = directory - field(file, at + 16, 4);
      if (directory < 0 || start < 0) return -1;
      return file.compare(static_cast<std::size_t>(directory), 4, "PK\x01\x02") == 0 ? start : -1;
    }
    if (at == lowest) return -1;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string file(reinterpret_cast<const char*>(data), size);
  fake::reset();
  fake::State& s = fake::state();
  s.module_path = "C:\\t\\run.exe";
  s.files[s.module_path] = file;
  const int fd = platform::open_binary_file(s.module_path.c_str());
  const std::int32_t start = launcher::find_appended_archive(fd);
  platform::close_file(fd);
  if (start != expected_start(file)) std::abort();

  const char* argv[] = {"run", nullptr};
  const int status = launcher::launch(1, argv);
  if (s.open_files != 0) std::abort();
  if (start < 0) {
    if (status != 2 || s.stderr_text != "Cannot open C:\\t\\run-script.py\n") std::abort();
  } else if (status == 2) {
    // Or a "<launcher_dir>" line whose path does not fit.
    if (s.stderr_text != "Interpreter line too long in C:\\t\\run.exe\n" &&
        s.stderr_text.rfind("Interpreter path too long ", 0) != 0)
      std::abort();
  } else if (s.spawned_argv.size() < 2 || s.spawned_argv.back() != "\"C:\\t\\run.exe\"") {
    std::abort();
  }
  return 0;
}
