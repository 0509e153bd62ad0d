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

// The version to use among the names read (replaces_version). False when
// no name could be read at all.
bool choose_version(RegistryKey versions, std::uint32_t count, char (&chosen)[name_size]) noexcept {
  bool read_any = false;
  char name[name_size];
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::size_t length = platform::registry_subkey_name(versions, i, name, name_size);
    if (length == 0 || !platform::fits(length, name_size)) continue;
    if (!read_any || replaces_version(name, chosen)) append(chosen, name);
    read_any = true;
  }
  return read_any;
}

// "SOFTWARE\Python\PythonCore\<version>\InstallPath\" in key_path; false
// when no version can be chosen or the path would exceed the key path limit.
bool find_install_key(platform::Hive hive, std::uint32_t access,
                      char (&key_path)[key_path_limit + 1]) noexcept {
  RegistryKey versions = 0;
  if (!platform::registry_open(hive, versions_key, access, &versions)) return false;
  std::uint32_t count = 0;
  char version[name_size];
  const bool chosen = platform::registry_subkey_count(versions, &count) && count > 0 &&
                      choose_version(versions, count, version);
  platform::registry_close(versions);
  if (!chosen ||
      sizeof install_prefix + std::string_view(version).size() + sizeof install_suffix - 2 >
          key_path_limit)
    return false;
  append(append(append(key_path, install_prefix), version), install_suffix);
  return true;
}

}  // namespace

bool search_registry_for_python(char* buf, std::size_t capacity, RegistryView view) noexcept {
  const std::uint32_t access = access_rights(view);
  const platform::Hive hive = view == RegistryView::CurrentUser ? platform::Hive::CurrentUser
                                                                : platform::Hive::LocalMachine;
  char key_path[key_path_limit + 1];
  if (!find_install_key(hive, access, key_path)) return false;
  RegistryKey install = 0;
  if (!platform::registry_open(hive, key_path, access, &install)) return false;

  // Start clean so that a warning never shows an earlier stage's leftovers.
  std::fill_n(buf, capacity, '\0');
  std::size_t length = 0;
  const bool read = platform::registry_first_value(install, buf, capacity, &length);
  platform::registry_close(install);
  if (!read) return false;

  const char* const program = platform::program().python;
  // The directory, the separator and the program name.
  if (!platform::fits(length + 1 + std::string_view(program).size(), capacity)) {
    // A path cut short could only fail later, so let the next stage run.
    warn_partial_path("in the registry", buf);
    return false;
  }
  buf[length] = platform::separator();
  append(buf + length + 1, program);
  return true;
}

}  // namespace locate
