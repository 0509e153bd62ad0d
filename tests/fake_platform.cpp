#include "fake_platform.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/chars.h"
#include "platform/found_path.h"
#include "platform/path.h"
#include "platform/programs.h"
#include "platform/wtf8.h"

namespace fake {
namespace {

State the_state;

std::string lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

constexpr const char* versions_path = "software\\python\\pythoncore\\";

struct OpenKey {
  RegistryKeyData* data;
};

}  // namespace

State& state() { return the_state; }
void reset() { the_state = State{}; }

void add_version(std::uint32_t view, const std::string& version,
                 const std::optional<std::string>& install_dir) {
  auto& keys = the_state.registry[view];
  keys[versions_path].subkeys.emplace_back(version);
  if (install_dir) {
    keys[lower(std::string(versions_path) + version + "\\installpath\\")].values = {
        {"", *install_dir}};
    for (const char* program : {"python.exe", "pythonw.exe", "python3"})
      the_state
          .files[install_dir->substr(0, install_dir->find('\0')) + platform::separator() + program];
  }
}

}  // namespace fake

namespace platform {

using fake::the_state;

PathStyle path_style() noexcept { return the_state.style; }

const Program& program() noexcept {
  if (the_state.program != nullptr) return *the_state.program;
  return the_state.style == PathStyle::Windows ? windows_console : posix_console;
}

void* allocate_zeroed(std::size_t size) noexcept {
  if (the_state.allocations_left == 0) return nullptr;
  if (the_state.allocations_left > 0) --the_state.allocations_left;
  return std::calloc(1, size == 0 ? 1 : size);
}

void release(void* block) noexcept { std::free(block); }

// Like the real calls: a path cut to the buffer answers as long as the
// buffer.
std::size_t module_path(char* buf, std::size_t capacity) noexcept {
  const std::string& path = the_state.module_path;
  const std::size_t n = std::min(path.size(), capacity);
  std::memcpy(buf, path.data(), n);
  end_text(buf, n, capacity);
  return n;
}

namespace {

// A file's descriptor is its place in the map, plus 3.
int open_any(const char* path) {
  auto it = the_state.files.find(path);
  if (it == the_state.files.end() && the_state.any_file)
    it = the_state.files.emplace(path, *the_state.any_file).first;
  if (it == the_state.files.end()) return -1;
  ++the_state.open_files;
  return static_cast<int>(std::distance(the_state.files.begin(), it)) + 3;
}

const std::string& content(int fd) {
  auto it = the_state.files.begin();
  std::advance(it, fd - 3);
  return it->second;
}

}  // namespace

int open_file(const char* path) noexcept {
  the_state.calls.push_back(std::string("open ") + path);
  return open_any(path);
}

int read_file(int fd, char* buf, unsigned count) noexcept {
  if (the_state.read_fails) return -1;
  const std::size_t n = std::min<std::size_t>(count, content(fd).size());
  std::memcpy(buf, content(fd).data(), n);
  return static_cast<int>(n);
}

void close_file(int) noexcept {
  the_state.calls.emplace_back("close");
  --the_state.open_files;
}

// The legacy code page here is Latin-1, each byte its own code point, but
// for 0x80: the euro sign, as in code page 1252. POSIX takes bytes as they
// are.
std::size_t line_as_utf8(char* line, std::size_t length, std::size_t capacity) noexcept {
  if (the_state.style == PathStyle::Posix || is_utf8({line, length})) return length;
  std::u16string units;
  for (std::size_t i = 0; i < length; ++i) {
    const auto byte = static_cast<unsigned char>(line[i]);
    units.push_back(byte == 0x80 ? u'\u20AC' : byte);
  }
  return wtf8_from_utf16(units.data(), units.size(), line, capacity);
}

// The launcher's own file is looked at on every launch: not a call of
// note for the tests that follow the companion's.
int open_binary_file(const char* path) noexcept { return open_any(path); }

std::int32_t file_size(int fd) noexcept { return static_cast<std::int32_t>(content(fd).size()); }

bool read_file_at(int fd, std::uint32_t offset, char* buf, unsigned count) noexcept {
  const std::string& text = content(fd);
  // The platforms' own reads rely on offsets inside the file.
  if (offset > text.size() || count > text.size() - offset) std::abort();
  std::memcpy(buf, text.data() + offset, count);
  return true;
}

bool file_exists(const char* path) noexcept {
  the_state.calls.push_back(std::string("exists ") + path);
  return the_state.files.count(path) > 0 || the_state.any_file.has_value();
}

// Every place on the path holds one find: search_result, then more_on_path.
std::size_t search_executable(const char* name, char* buf, std::size_t capacity,
                              std::size_t* place) noexcept {
  the_state.calls.push_back(std::string("search ") + name +
                            (*place > 0 ? " from " + std::to_string(*place) : ""));
  std::vector<std::string> places;
  if (the_state.search_result) places.push_back(*the_state.search_result);
  places.insert(places.end(), the_state.more_on_path.begin(), the_state.more_on_path.end());
  if (*place >= places.size()) return 0;
  return answer_found_path(places[(*place)++], buf, capacity);
}

std::size_t full_path(const char* path, char* buf, std::size_t capacity) noexcept {
  return answer_normalized_path(path, buf, capacity);
}

// Like the real call: data larger than the buffer cannot be read at all.
std::size_t read_reparse_point(const char* path, unsigned char* buf,
                               std::size_t capacity) noexcept {
  the_state.calls.push_back(std::string("reparse ") + path);
  const auto it = the_state.reparse_points.find(path);
  if (it == the_state.reparse_points.end() || it->second.size() > capacity) return 0;
  std::memcpy(buf, it->second.data(), it->second.size());
  return it->second.size();
}

bool registry_open(Hive hive, const char* path, std::uint32_t access, RegistryKey* key) noexcept {
  char rights[16];
  std::snprintf(rights, sizeof rights, "%#x", access);
  const bool user = hive == Hive::CurrentUser;
  the_state.calls.push_back(std::string("regopen ") + (user ? "HKCU " : "") + path + " " + rights);
  // The current user's hive is read with plain read access alone.
  if (user != (access == fake::user)) return false;
  auto& keys = the_state.registry[access];
  const auto it = keys.find(fake::lower(path));
  if (it == keys.end()) return false;
  ++the_state.open_keys;
  *key = reinterpret_cast<RegistryKey>(&it->second);
  return true;
}

namespace {
fake::RegistryKeyData& key_data(RegistryKey key) {
  return *reinterpret_cast<fake::RegistryKeyData*>(key);
}
}  // namespace

bool registry_subkey_count(RegistryKey key, std::uint32_t* count) noexcept {
  if (key_data(key).count_fails) return false;
  *count = static_cast<std::uint32_t>(key_data(key).subkeys.size());
  return true;
}

std::size_t registry_subkey_name(RegistryKey key, std::uint32_t index, char* name,
                                 std::size_t capacity) noexcept {
  const auto& subkeys = key_data(key).subkeys;
  if (index >= subkeys.size() || !subkeys[index]) return 0;
  return answer_found_path(*subkeys[index], name, capacity);
}

// Like the real call: data that does not fit is not read at all, and its
// size is answered.
bool registry_value(RegistryKey key, const char* name, char* data, std::size_t capacity,
                    std::size_t* length) noexcept {
  const std::string* value = nullptr;
  for (const auto& [value_name, bytes] : key_data(key).values)
    if (value_name == name) value = &bytes;
  if (value == nullptr) return false;
  *length = value->size();
  if (value->size() <= capacity) {
    std::memcpy(data, value->data(), value->size());
    *length = text_length(data, value->size());
  }
  end_text(data, *length, capacity);
  return true;
}

void registry_close(RegistryKey) noexcept { --the_state.open_keys; }

SpawnResult spawn_and_wait(const char* path, const char* const* quoted_argv) noexcept {
  the_state.calls.push_back(std::string("spawn ") + path);
  the_state.spawned_path = path;
  the_state.spawned_argv.clear();
  for (const char* const* a = quoted_argv; *a != nullptr; ++a)
    the_state.spawned_argv.emplace_back(*a);
  return the_state.spawn_result;
}

void print_error(const char* format, const char* arg) noexcept {
  std::string text(format);
  const std::size_t at = text.find("%s");
  if (at != std::string::npos) text.replace(at, 2, arg);
  the_state.stderr_text += text;
}

void failure_reported() noexcept { ++the_state.failures_reported; }

}  // namespace platform
