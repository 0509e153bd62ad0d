#include "locate/store_redirector.h"

#include <cstdint>

#include "platform/chars.h"
#include "platform/heap.h"
#include "platform/path.h"
#include "platform/platform.h"

namespace locate {
namespace {

constexpr std::uint32_t app_exec_link_tag = 0x8000001B;
constexpr std::uint32_t app_exec_link_version = 3;
constexpr std::size_t header_size = 8;  // tag, data length, reserved
// The largest reparse data the file system keeps.
constexpr std::size_t reparse_data_limit = 16384;

std::uint32_t little_endian(const unsigned char* p, int bytes) noexcept {
  std::uint32_t value = 0;
  while (bytes-- > 0) value = value << 8U | p[bytes];
  return value;
}

// `size` bytes of UTF-16LE that spell `text` in ASCII, in any case; a '\\'
// in `text` stands for either separator. Not inlined: the optimiser would
// unroll it over each constant text, into kilobytes.
[[gnu::noinline]] bool spells(const unsigned char* units, std::size_t size,
                              std::string_view text) noexcept {
  if (size != 2 * text.size()) return false;
  for (const char c : text) {
    const char unit = ascii_lower(static_cast<char>(*units));
    const bool same = c == '\\' ? unit == '\\' || unit == '/' : unit == c;
    if (units[1] != 0 || !same) return false;
    units += 2;
  }
  return true;
}

}  // namespace

// Only where Windows keeps the aliases (a search answers full paths).
bool in_windows_apps(std::string_view path) noexcept {
  constexpr std::string_view dir = "\\microsoft\\windowsapps\\";
  const std::size_t name = platform::file_name_start(path);
  if (name < dir.size()) return false;
  path.remove_prefix(name - dir.size());
  return platform::begins_with_folded(path, dir);
}

bool names_python_redirector(std::span<const unsigned char> reparse) noexcept {
  const unsigned char* p = reparse.data();
  if (reparse.size() < header_size + 4 || little_endian(p, 4) != app_exec_link_tag) return false;
  const std::size_t end = header_size + little_endian(p + 4, 2);
  if (end > reparse.size() || end < header_size + 4 ||
      little_endian(p + header_size, 4) != app_exec_link_version)
    return false;
  // The ends of the package family, the application id and the target
  // executable, each a NUL-terminated UTF-16LE string.
  std::size_t ends[3];
  std::size_t at = header_size + 4;
  for (std::size_t& string_end : ends) {
    while (at + 1 < end && (p[at] | p[at + 1]) != 0) at += 2;
    if (at + 1 >= end) return false;
    string_end = at;
    at += 2;
  }
  constexpr std::string_view package = "microsoft.desktopappinstaller_8wekyb3d8bbwe";
  constexpr std::string_view target = "\\appinstallerpythonredirector.exe";
  const std::size_t target_start = ends[1] + 2;
  return spells(p + header_size + 4, ends[0] - header_size - 4, package) &&
         ends[2] - target_start >= 2 * target.size() &&
         spells(p + ends[2] - 2 * target.size(), 2 * target.size(), target);
}

// Out of line: inlined into the one function that link-time optimisation
// makes of the launch, it costs the Windows programs more bytes.
[[gnu::noinline]] bool is_store_redirector(const char* path) noexcept {
  if (!in_windows_apps(path)) return false;
  const HeapArray<unsigned char> buf = allocate_array<unsigned char>(reparse_data_limit);
  if (!buf) return false;
  const std::size_t size = platform::read_reparse_point(path, buf.get(), reparse_data_limit);
  return names_python_redirector({buf.get(), size});
}

}  // namespace locate
