// The end of the launcher's own file, any bytes: the archive reader must
// agree with a plain reading of the zip rules and of a signature's
// certificate table, and the launch must then run the program itself, fail
// on a line too long, or look for its companion.
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

// The rules as written: the last end record whose comment ends at `end`,
// or with at most `padding` zero bytes between it and `end`, within a
// comment's reach, and a directory that starts inside the file with its
// signature.
std::int64_t archive_before(const std::string& file, std::size_t end, std::size_t padding) {
  if (end < 22) return -1;
  const std::size_t reach = 22 + 0xFFFF + padding;
  const std::size_t lowest = end > reach ? end - reach : 0;
  for (std::size_t at = end - 22;; --at) {
    const std::size_t comment_end = at + 22 + field(file, at + 20, 2);
    if (file.compare(at, 4, "PK\x05\x06") == 0 && comment_end <= end &&
        end - comment_end <= padding && file.find_first_not_of('\0', comment_end) >= end) {
      const std::int64_t directory = static_cast<std::int64_t>(at) - field(file, at + 12, 4);
      const std::int64_t start = directory - field(file, at + 16, 4);
      if (directory < 0 || start < 0) return -1;
      return file.compare(static_cast<std::size_t>(directory), 4, "PK\x01\x02") == 0 ? start : -1;
    }
    if (at == lowest) return -1;
  }
}

// Where a PE's security entry puts a certificate table that ends the file,
// or 0: "MZ", the PE header (read up to a PE32+'s security entry) inside
// the file, a PE32 or PE32+ magic, at least five data directories.
std::size_t certificate_table(const std::string& file) {
  if (file.size() < 176 || file.compare(0, 2, "MZ") != 0) return 0;
  const std::size_t pe = field(file, 0x3C, 4);
  if (pe + 176 > file.size() || file.compare(pe, 4, std::string("PE\0\0", 4)) != 0) return 0;
  const std::uint32_t magic = field(file, pe + 24, 2);
  if (magic != 0x10B && magic != 0x20B) return 0;
  const std::size_t directories = pe + 24 + (magic == 0x10B ? 96 : 112);
  const std::uint64_t offset = field(file, directories + 32, 4);
  const std::uint64_t length = field(file, directories + 36, 4);
  if (field(file, directories - 4, 4) < 5 || offset == 0 || length == 0 ||
      offset + length != file.size())
    return 0;
  return static_cast<std::size_t>(offset);
}

// An archive that ends the file, else one before a signature's table.
std::int64_t expected_start(const std::string& file) {
  const std::int64_t start = archive_before(file, file.size(), 0);
  const std::size_t table = certificate_table(file);
  return start >= 0 || table == 0 ? start : archive_before(file, table, 7);
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
    // Or a "<launcher_dir>" line whose path does not fit, or a line read in
    // the legacy code page that grew too long for any path.
    if (s.stderr_text != "Interpreter line too long in C:\\t\\run.exe\n" &&
        s.stderr_text.rfind("Interpreter path too long ", 0) != 0 &&
        s.stderr_text.rfind("Cannot find Python executable ", 0) != 0)
      std::abort();
  } else if (s.spawned_argv.size() < 2 || s.spawned_argv.back() != "\"C:\\t\\run.exe\"") {
    std::abort();
  }
  return 0;
}
