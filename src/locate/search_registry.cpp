#include <algorithm>
#include <string_view>

#include "locate/locate.h"
#include "platform/path.h"
#include "platform/platform.h"

namespace locate {
namespace {

using platform::RegistryKey;

// Both spellings reach the same key: registry names ignore case.
constexpr std::string_view versions_key = "SOFTWARE\\Python\\Pythoncore\\";
constexpr std::string_view install_prefix = "SOFTWARE\\Python\\PythonCore\\";
constexpr std::string_view install_suffix = "\\InstallPath\\";
constexpr std::size_t name_size = 255;
constexpr std::size_t key_path_limit = 254;

// The version to use: "2.7" if present, else "2.6", else the last name
// read. False when no name could be read at all.
bool choose_version(RegistryKey versions, std::uint32_t count, char (&chosen)[name_size]) noexcept {
  bool seen_26 = false;
  bool read_any = false;
  char name[name_size];
  for (std::uint32_t i = 0; i < count; ++i) {
    std::uint32_t size = name_size;
    if (!platform::registry_subkey_name(versions, i, name, &size)) continue;
    name[name_size - 1] = '\0';
    const std::string_view read(name);
    if (read == "2.7") {
      std::copy_n("2.7", 4, chosen);
      return true;
    }
    seen_26 = seen_26 || read == "2.6";
    *std::copy(read.begin(), read.end(), chosen) = '\0';
    read_any = true;
  }
  if (seen_26) std::copy_n("2.6", 4, chosen);
  return read_any;
}

// "SOFTWARE\Python\PythonCore\<version>\InstallPath\"; false when it would
// exceed the key path limit.
bool install_key_path(std::string_view version, char (&out)[key_path_limit + 1]) noexcept {
  if (install_prefix.size() + version.size() + install_suffix.size() > key_path_limit) return false;
  char* w = std::copy(install_prefix.begin(), install_prefix.end(), out);
  w = std::copy(version.begin(), version.end(), w);
  w = std::copy(install_suffix.begin(), install_suffix.end(), w);
  *w = '\0';
  return true;
}

bool find_install_key(std::uint32_t access, char (&key_path)[key_path_limit + 1]) noexcept {
  RegistryKey versions = 0;
  char versions_path[versions_key.size() + 1] = {};
  std::copy(versions_key.begin(), versions_key.end(), versions_path);
  if (!platform::registry_open(versions_path, access, &versions)) return false;
  std::uint32_t count = 0;
  char version[name_size] = {};
  const bool chosen = platform::registry_subkey_count(versions, &count) && count > 0 &&
                      choose_version(versions, count, version);
  platform::registry_close(versions);
  return chosen && install_key_path(version, key_path);
}

}  // namespace

bool search_registry_for_python(char* buf, std::size_t capacity, RegistryView view) noexcept {
  const std::uint32_t access = access_rights(view);
  char key_path[key_path_limit + 1];
  if (!find_install_key(access, key_path)) return false;
  RegistryKey install = 0;
  if (!platform::registry_open(key_path, access, &install)) return false;

  // Start clean so that a warning never shows an earlier stage's leftovers.
  std::fill_n(buf, capacity, '\0');
  auto size = static_cast<std::uint32_t>(capacity);
  const bool read = platform::registry_first_value(install, buf, &size);
  platform::registry_close(install);

  // The directory ends at its own terminator or, in data that has none, at
  // the size read; a failed read tells only the size it would need.
  char* data_end = buf + std::min<std::size_t>(size, capacity);
  const std::size_t length =
      read ? static_cast<std::size_t>(std::find(buf, data_end, '\0') - buf) : size;
  const std::string_view program(platform::program().python);
  // The directory, the separator, the program name and the terminator.
  if (length + 1 + program.size() + 1 > capacity) {
    // A path cut short could only fail later, so let the next stage run.
    buf[std::min<std::size_t>(length, capacity - 1)] = '\0';
    platform::print_error(
        "Found python in the registry, but the internal buffer was not long "
        "enough (partial path=%s\n",
        buf);
    return false;
  }
  if (!read) return false;
  buf[length] = '\0';
  char* w = buf + length;
  *w++ = platform::separator();
  *std::copy(program.begin(), program.end(), w) = '\0';
  return true;
}

}  // namespace locate
