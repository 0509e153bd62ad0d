// The platform on Windows: Win32 for the module path, the executable search
// and the registry; the Microsoft C runtime for files. What the console and
// the windowless program do differently is in console.cpp and
// windowless.cpp.
#include "platform/platform.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <algorithm>

#include "platform/chars.h"
#include "platform/found_path.h"
#include "platform/heap.h"
#include "platform/path.h"
#include "platform/win32/search_list.h"

namespace platform {

PathStyle path_style() noexcept { return PathStyle::Windows; }

// A path cut to the buffer is answered as long as the buffer, and not
// always terminated (Windows XP): the last byte is always made one.
std::size_t module_path(char* buf, std::size_t capacity) noexcept {
  const DWORD length = GetModuleFileNameA(nullptr, buf, static_cast<DWORD>(capacity));
  buf[capacity - 1] = '\0';
  return length;
}

int open_file(const char* path) noexcept { return _open(path, _O_RDONLY); }

int read_file(int fd, char* buf, unsigned count) noexcept { return _read(fd, buf, count); }

void close_file(int fd) noexcept { _close(fd); }

int open_binary_file(const char* path) noexcept { return _open(path, _O_RDONLY | _O_BINARY); }

// The runtime's 32-bit seek answers -1, or a negative position, past 2 GiB:
// the limit wanted.
std::int32_t file_size(int fd) noexcept { return _lseek(fd, 0, SEEK_END); }

// Every offset asked for lies inside the file: the seek cannot fail.
bool read_file_at(int fd, std::uint32_t offset, char* buf, unsigned count) noexcept {
  _lseek(fd, static_cast<long>(offset), SEEK_SET);
  return _read(fd, buf, count) == static_cast<int>(count);
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

// A narrow path of ours (at most a path block) in the wide form the file
// calls take, and the attributes of what is there.
DWORD attributes(const char* path, wchar_t (&wide)[MAX_PATH + 1]) noexcept {
  return MultiByteToWideChar(CP_ACP, 0, path, -1, wide, MAX_PATH + 1) != 0
             ? GetFileAttributesW(wide)
             : INVALID_FILE_ATTRIBUTES;
}

// A wide path of any length given back as search_executable's answer, in
// the code page every other narrow string here is in.
std::size_t answer_narrowed(const wchar_t* path, char* buf, std::size_t capacity) noexcept {
  constexpr int size = 4 * any_path;  // UTF-8: up to 4 bytes per unit
  const HeapArray<char> narrow = allocate_array<char>(size);
  const int bytes =
      narrow ? WideCharToMultiByte(CP_ACP, 0, path, -1, narrow.get(), size, nullptr, nullptr) : 0;
  if (bytes <= 0) return 0;
  return answer_found_path({narrow.get(), static_cast<std::size_t>(bytes) - 1}, buf, capacity);
}

}  // namespace

bool file_exists(const char* path) noexcept {
  wchar_t wide[MAX_PATH + 1];
  const DWORD found = attributes(path, wide);
  return found != INVALID_FILE_ATTRIBUTES && (found & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// The link itself is opened, not the file it points to; no access rights
// are needed to read its data.
std::size_t read_reparse_point(const char* path, unsigned char* buf,
                               std::size_t capacity) noexcept {
  wchar_t wide[MAX_PATH + 1];
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
  if (!wide || MultiByteToWideChar(CP_ACP, 0, path, -1, wide.get(), any_path) == 0) return 0;
  wchar_t* const full = wide.get() + any_path;
  const DWORD length = GetFullPathNameW(wide.get(), any_path, full, nullptr);
  return length == 0 || length >= any_path ? 0 : answer_narrowed(full, buf, capacity);
}

// One wide search over an explicit list, a place at a time so that the
// search can go on after a file that is not wanted: the narrow call cannot
// take a list without the working directory any better, and Wine's fails
// with ERROR_FILENAME_EXCED_RANGE for any found path of 260 or more instead
// of answering its size. The answer is given as the contract says, in the
// code page every other narrow string here is in.
std::size_t search_executable(const char* name, char* buf, std::size_t capacity,
                              std::size_t* place) noexcept {
  // PATH can hold up to 32767 characters; the fixed directories come first.
  constexpr std::size_t list_size = any_path + 4 * (MAX_PATH + 8);
  wchar_t wide_name[MAX_PATH];
  if (MultiByteToWideChar(CP_ACP, 0, name, -1, wide_name, MAX_PATH) == 0) return 0;
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
    if (index >= *place && SearchPathW(entry, wide_name, nullptr, any_path, found, nullptr) != 0) {
      *place = index + 1;
      return answer_narrowed(found, buf, capacity);
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
  if (RegOpenKeyExA(root, path, 0, access, &opened) != ERROR_SUCCESS) return false;
  *key = reinterpret_cast<RegistryKey>(opened);
  return true;
}

bool registry_subkey_count(RegistryKey key, std::uint32_t* count) noexcept {
  DWORD subkeys = 0;
  if (RegQueryInfoKeyA(handle(key), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr,
                       nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
    return false;
  *count = subkeys;
  return true;
}

// A name longer than the buffer is not read at all: it answers as long as
// the buffer.
std::size_t registry_subkey_name(RegistryKey key, std::uint32_t index, char* name,
                                 std::size_t capacity) noexcept {
  DWORD length = static_cast<DWORD>(capacity);
  const LONG result =
      RegEnumKeyExA(handle(key), index, name, &length, nullptr, nullptr, nullptr, nullptr);
  name[capacity - 1] = '\0';  // whatever a failed call left, terminated
  if (result == ERROR_MORE_DATA) return capacity;
  return result == ERROR_SUCCESS ? length : 0;
}

// Data too large is not read at all; only its size is known.
bool registry_value(RegistryKey key, const char* name, char* data, std::size_t capacity,
                    std::size_t* length) noexcept {
  DWORD data_size = static_cast<DWORD>(capacity);
  const LONG result = RegQueryValueExA(handle(key), name, nullptr, nullptr,
                                       reinterpret_cast<BYTE*>(data), &data_size);
  if (result != ERROR_SUCCESS && result != ERROR_MORE_DATA) return false;
  *length = result == ERROR_SUCCESS ? text_length(data, data_size) : data_size;
  end_text(data, *length, capacity);
  return true;
}

void registry_close(RegistryKey key) noexcept { RegCloseKey(handle(key)); }

}  // namespace platform
