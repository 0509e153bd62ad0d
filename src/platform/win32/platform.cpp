// The platform on Windows: Win32 for the module path, the executable search
// and the registry; the Microsoft C runtime for files. Every call that
// carries text is a wide one (wide.h). What the console and the windowless
// program do differently is in console.cpp and windowless.cpp.
#include "platform/platform.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <algorithm>

#include "platform/chars.h"
#include "platform/heap.h"
#include "platform/path.h"
#include "platform/win32/search_list.h"
#include "platform/win32/wide.h"
#include "platform/wtf8.h"

namespace platform {

PathStyle path_style() noexcept { return PathStyle::Windows; }

// A path cut to the wide buffer (not always terminated: Windows XP) has
// more units than the byte buffers we pass can hold: what was read answers
// at least their capacity.
std::size_t module_path(char* buf, std::size_t capacity) noexcept {
  wchar_t wide[wide_path_size];
  return wtf8_from_utf16(wide, GetModuleFileNameW(nullptr, wide, wide_path_size), buf, capacity);
}

namespace {

int open_wide(const char* path, int flags) noexcept {
  wchar_t wide[wide_path_size];
  return widen(path, wide, wide_path_size) ? _wopen(wide, flags) : -1;
}

}  // namespace

int open_file(const char* path) noexcept { return open_wide(path, _O_RDONLY); }

int read_file(int fd, char* buf, unsigned count) noexcept { return _read(fd, buf, count); }

void close_file(int fd) noexcept { _close(fd); }

int open_binary_file(const char* path) noexcept { return open_wide(path, _O_RDONLY | _O_BINARY); }

// The runtime's 32-bit seek answers -1, or a negative position, past 2 GiB:
// the limit wanted.
std::int32_t file_size(int fd) noexcept { return _lseek(fd, 0, SEEK_END); }

// Every offset asked for lies inside the file: the seek cannot fail.
bool read_file_at(int fd, std::uint32_t offset, char* buf, unsigned count) noexcept {
  _lseek(fd, static_cast<long>(offset), SEEK_SET);
  return _read(fd, buf, count) == static_cast<int>(count);
}

// No code page gives more than a unit for a byte.
std::size_t line_as_utf8(char* line, std::size_t length, std::size_t capacity) noexcept {
  wchar_t wide[wide_path_size];
  if (length >= wide_path_size || is_utf8({line, length})) return length;
  const int units = MultiByteToWideChar(CP_ACP, 0, line, static_cast<int>(length), wide,
                                        static_cast<int>(wide_path_size));
  return wtf8_from_utf16(wide, static_cast<std::size_t>(units), line, capacity);
}

namespace {

// Appends an entry and its ';' to the search list when both fit.
void append_entry(wchar_t* list, std::size_t* used, std::size_t capacity, const wchar_t* entry,
                  std::size_t length) noexcept {
  if (length == 0 || *used + length + 1 >= capacity) return;
  copy_chars(list + *used, entry, length);
  *used += length;
  list[(*used)++] = L';';
}

// The system's default search order without its second place, the working
// directory, where any downloaded archive or checkout could plant a
// python.exe: the launcher's own directory, the system directory, the
// 16-bit system directory, the Windows directory, then PATH's entries.
void build_search_list(wchar_t* list, std::size_t capacity) noexcept {
  std::size_t used = 0;
  wchar_t dir[MAX_PATH + 8];
  // These calls answer by the rule of platform.h (0: failed).
  const auto got = [](std::size_t n) { return n > 0 && fits(n, MAX_PATH); };
  std::size_t n = GetModuleFileNameW(nullptr, dir, MAX_PATH);
  if (got(n)) append_entry(list, &used, capacity, dir, directory_length(dir, n));
  n = GetSystemDirectoryW(dir, MAX_PATH);
  if (got(n)) append_entry(list, &used, capacity, dir, n);
  n = GetWindowsDirectoryW(dir, MAX_PATH);
  if (got(n)) {
    copy_chars(dir + n, L"\\System", 7);
    append_entry(list, &used, capacity, dir, n + 7);
    append_entry(list, &used, capacity, dir, n);
  }
  const DWORD path =
      GetEnvironmentVariableW(L"PATH", list + used, static_cast<DWORD>(capacity - used));
  if (path > 0 && used + path < capacity) used += drop_empty_entries(list + used, path);
  // A trailing ';' would be one more empty entry.
  if (used > 0 && list[used - 1] == L';') --used;
  list[used] = L'\0';
}

// Paths of any length: the longest the wide calls take.
constexpr int any_path = 32768;

// A path of ours (at most a path block) in its wide form, and the
// attributes of what is there.
DWORD attributes(const char* path, wchar_t (&wide)[wide_path_size]) noexcept {
  return widen(path, wide, wide_path_size) ? GetFileAttributesW(wide) : INVALID_FILE_ATTRIBUTES;
}

}  // namespace

bool file_exists(const char* path) noexcept {
  wchar_t wide[wide_path_size];
  const DWORD found = attributes(path, wide);
  return found != INVALID_FILE_ATTRIBUTES && (found & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// The link itself is opened, not the file it points to; no access rights
// are needed to read its data.
std::size_t read_reparse_point(const char* path, unsigned char* buf,
                               std::size_t capacity) noexcept {
  wchar_t wide[wide_path_size];
  const DWORD found = attributes(path, wide);
  if (found == INVALID_FILE_ATTRIBUTES || (found & FILE_ATTRIBUTE_REPARSE_POINT) == 0) return 0;
  const HANDLE file = CreateFileW(
      wide, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
      FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 0;
  DWORD returned = 0;
  const BOOL read = DeviceIoControl(file, FSCTL_GET_REPARSE_POINT, nullptr, 0, buf,
                                    static_cast<DWORD>(capacity), &returned, nullptr);
  CloseHandle(file);
  return read ? std::min<std::size_t>(returned, capacity) : 0;
}

std::size_t full_path(const char* path, char* buf, std::size_t capacity) noexcept {
  const HeapArray<wchar_t> wide = allocate_array<wchar_t>(2 * any_path);
  if (!wide || !widen(path, wide.get(), any_path)) return 0;
  wchar_t* const full = wide.get() + any_path;
  const DWORD length = GetFullPathNameW(wide.get(), any_path, full, nullptr);
  return length == 0 || length >= any_path ? 0 : wtf8_from_utf16(full, length, buf, capacity);
}

// One wide search over an explicit list, a place at a time so that the
// search can go on after a file that is not wanted: the narrow call cannot
// take a list without the working directory any better, and Wine's fails
// with ERROR_FILENAME_EXCED_RANGE for any found path of 260 or more instead
// of answering its size.
std::size_t search_executable(const char* name, char* buf, std::size_t capacity,
                              std::size_t* place) noexcept {
  // PATH can hold up to 32767 characters; the fixed directories come first.
  constexpr std::size_t list_size = any_path + 4 * (MAX_PATH + 8);
  wchar_t wide_name[wide_path_size];
  if (!widen(name, wide_name, wide_path_size)) return 0;
  // The list, then room for the path found.
  const HeapArray<wchar_t> list = allocate_array<wchar_t>(list_size + any_path);
  if (!list) return 0;
  wchar_t* const found = list.get() + list_size;
  build_search_list(list.get(), list_size);
  // Every entry is a place of its own; the list has no empty ones.
  wchar_t* entry = list.get();
  for (std::size_t index = 0; *entry != L'\0'; ++index) {
    wchar_t* end = entry;
    while (*end != L'\0' && *end != L';') ++end;
    const bool last = *end == L'\0';
    *end = L'\0';
    const DWORD length =
        index >= *place ? SearchPathW(entry, wide_name, nullptr, any_path, found, nullptr) : 0;
    if (length != 0 && length < any_path) {
      *place = index + 1;
      return wtf8_from_utf16(found, length, buf, capacity);
    }
    if (last) break;
    entry = end + 1;
  }
  return 0;
}

namespace {
HKEY handle(RegistryKey key) { return reinterpret_cast<HKEY>(key); }
}  // namespace

// The current user's hive has no 32/64-bit views: the access carries none.
bool registry_open(Hive hive, const char* path, std::uint32_t access, RegistryKey* key) noexcept {
  HKEY opened = nullptr;
  const HKEY root = hive == Hive::CurrentUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
  wchar_t wide[wide_path_size];
  if (!widen(path, wide, wide_path_size) ||
      RegOpenKeyExW(root, wide, 0, access, &opened) != ERROR_SUCCESS)
    return false;
  *key = reinterpret_cast<RegistryKey>(opened);
  return true;
}

bool registry_subkey_count(RegistryKey key, std::uint32_t* count) noexcept {
  DWORD subkeys = 0;
  if (RegQueryInfoKeyW(handle(key), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr,
                       nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
    return false;
  *count = subkeys;
  return true;
}

// A name longer than the buffer is not read at all: it answers as long as
// the buffer. Whatever a failed call left is not looked at.
std::size_t registry_subkey_name(RegistryKey key, std::uint32_t index, char* name,
                                 std::size_t capacity) noexcept {
  wchar_t wide[wide_path_size];
  DWORD length = static_cast<DWORD>(std::min(capacity, wide_path_size));
  const LONG result =
      RegEnumKeyExW(handle(key), index, wide, &length, nullptr, nullptr, nullptr, nullptr);
  if (result == ERROR_SUCCESS) return wtf8_from_utf16(wide, length, name, capacity);
  name[0] = '\0';
  return result == ERROR_MORE_DATA ? capacity : 0;
}

// Data too large is not read at all; only its size is known, in units, and
// it is more than the buffer's bytes.
bool registry_value(RegistryKey key, const char* name, char* data, std::size_t capacity,
                    std::size_t* length) noexcept {
  wchar_t wide_name[wide_path_size];
  wchar_t wide[wide_path_size];
  DWORD size = static_cast<DWORD>(sizeof(wchar_t) * std::min(capacity, wide_path_size));
  const LONG result = widen(name, wide_name, wide_path_size)
                          ? RegQueryValueExW(handle(key), wide_name, nullptr, nullptr,
                                             reinterpret_cast<BYTE*>(wide), &size)
                          : ERROR_FILE_NOT_FOUND;
  if (result != ERROR_SUCCESS && result != ERROR_MORE_DATA) return false;
  const std::size_t units = size / sizeof(wchar_t);
  if (result == ERROR_MORE_DATA) {
    *length = units;
    data[0] = '\0';
  } else {
    *length = wtf8_from_utf16(wide, text_length(wide, units), data, capacity);
  }
  return true;
}

void registry_close(RegistryKey key) noexcept { RegCloseKey(handle(key)); }

}  // namespace platform
