#include <algorithm>
#include <string_view>

#include "locate/locate.h"
#include "locate/version_order.h"
#include "platform/path.h"
#include "platform/platform.h"

namespace locate {
namespace {

using platform::RegistryKey;

// Both spellings reach the same key: registry names ignore case.
constexpr char versions_key[] = "SOFTWARE\\Python\\Pythoncore\\";
constexpr char install_prefix[] = "SOFTWARE\\Python\\PythonCore\\";
constexpr char install_suffix[] = "\\InstallPath\\";
constexpr std::size_t name_size = 255;
constexpr std::size_t key_path_limit = 254;

// A plain loop: smaller in the Windows programs than the library's copies
// (put_text here costs 72 bytes in the PE32).
char* append(char* out, const char* text) noexcept {
  while ((*out = *text++) != '\0') ++out;
  return out;
}

// Reads a value of an install's key into buf, zero-filled first so that a
// warning never shows an earlier read's leftovers.
bool read_value(RegistryKey install, const char* name, char* buf, std::size_t capacity,
                std::size_t* length) noexcept {
  std::fill_n(buf, capacity, '\0');
  return platform::registry_value(install, name, buf, capacity, length);
}

// The program an install's key names, into buf: its own value
// ("ExecutablePath"), or where that is absent or empty the install folder
// (the default value) with the program's name appended. Every install since
// 3.5 has the first; the second is all that older ones have.
bool program_in(RegistryKey install, char* buf, std::size_t capacity) noexcept {
  const platform::Program& program = platform::program();
  std::size_t length = 0;
  if (read_value(install, program.registry_value, buf, capacity, &length) && length > 0) {
    if (platform::fits(length, capacity)) return true;
  } else if (!read_value(install, "", buf, capacity, &length)) {
    return false;
  } else if (platform::fits(length + 1 + std::string_view(program.python).size(), capacity)) {
    buf[length] = platform::separator();
    append(buf + length + 1, program.python);
    return true;
  }
  // A path cut short could only fail later, so the entry is passed over.
  warn_partial_path("in the registry", buf);
  return false;
}

// The program of `version`, into buf, when it is a file: an entry left
// behind by an install that was removed is passed over.
bool installed_program(platform::Hive hive, std::uint32_t access, const char* version, char* buf,
                       std::size_t capacity) noexcept {
  // "SOFTWARE\Python\PythonCore\<version>\InstallPath\", within the key path limit.
  char key_path[key_path_limit + 1];
  if (sizeof install_prefix + std::string_view(version).size() + sizeof install_suffix - 2 >
      key_path_limit)
    return false;
  append(append(append(key_path, install_prefix), version), install_suffix);
  RegistryKey install = 0;
  if (!platform::registry_open(hive, key_path, access, &install)) return false;
  const bool found = program_in(install, buf, capacity);
  platform::registry_close(install);
  return found && platform::file_exists(buf);
}

}  // namespace

// The version to use (replaces_version) among those whose program is a
// file. Each name that would replace the one chosen so far is tried; the
// winner's program is formed again at the end, as buf holds the last tried.
bool search_registry_for_python(char* buf, std::size_t capacity, RegistryView view) noexcept {
  const std::uint32_t access = access_rights(view);
  const platform::Hive hive = view == RegistryView::CurrentUser ? platform::Hive::CurrentUser
                                                                : platform::Hive::LocalMachine;
  RegistryKey versions = 0;
  if (!platform::registry_open(hive, versions_key, access, &versions)) return false;
  std::uint32_t count = 0;
  if (!platform::registry_subkey_count(versions, &count)) count = 0;
  bool found = false;
  char chosen[name_size];
  char name[name_size];
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::size_t length = platform::registry_subkey_name(versions, i, name, name_size);
    if (length == 0 || !platform::fits(length, name_size) ||
        (found && !replaces_version(name, chosen)) ||
        !installed_program(hive, access, name, buf, capacity))
      continue;
    append(chosen, name);
    found = true;
  }
  platform::registry_close(versions);
  return found && installed_program(hive, access, chosen, buf, capacity);
}

}  // namespace locate
