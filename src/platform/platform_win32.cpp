// The platform on Windows: Win32 for the module path, the executable search
// and the registry; the Microsoft C runtime for files. What the console and
// the windowless program do differently is in console_win32.cpp and
// windowless_win32.cpp.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <algorithm>

#include "platform/found_path.h"
#include "platform/heap.h"
#include "platform/platform.h"
#include "platform/search_list.h"

namespace platform {

PathStyle path_style() noexcept { return PathStyle::Windows; }

std::size_t module_path(char* buf, std::size_t capacity) noexcept {
  return GetModuleFileNameA(nullptr, buf, static_cast<DWORD>(capacity));
}

int open_file(const char* path) noexcept { return _open(path, _O_RDONLY); }

int read_file(int fd, char* buf, unsigned count) noexcept { return _read(fd, buf, count); }

void close_file(int fd) noexcept { _close(fd); }

namespace {

// Appends an entry and its ';' to the search list when both fit.
void append_entry(wchar_t* list, std::size_t* used, std::size_t capacity, const wchar_t* entry,
                  std::size_t length) noexcept {
  if (length == 0 || *used + length + 1 >= capacity) return;
  std::copy_n(entry, length, list + *used);
  *used += length;
  list[(*used)++] = L';';
}

// The directory part of a module path: no trailing separator, unless it is
// a root ("C:\"), which without it would mean the drive's working directory.
std::size_t directory_length(const wchar_t* path, std::size_t length) noexcept {
  while (length > 0 && path[length - 1] != L'\\' && path[length - 1] != L'/') --length;
  const bool root = length <= 1 || path[length - 2] == L':';
  return root ? length : length - 1;
}

// The system's default search order without its second place, the working
// directory, where any downloaded archive or checkout could plant a
// python.exe: the launcher's own directory, the system directory, the
// 16-bit system directory, the Windows directory, then PATH's entries.
void build_search_list(wchar_t* list, std::size_t capacity) noexcept {
  std::size_t used = 0;
  wchar_t dir[MAX_PATH + 8];
  const auto fits = [](std::size_t n) { return n > 0 && n < MAX_PATH; };
  std::size_t n = GetModuleFileNameW(nullptr, dir, MAX_PATH);
  if (fits(n)) append_entry(list, &used, capacity, dir, directory_length(dir, n));
  n = GetSystemDirectoryW(dir, MAX_PATH);
  if (fits(n)) append_entry(list, &used, capacity, dir, n);
  n = GetWindowsDirectoryW(dir, MAX_PATH);
  if (fits(n)) {
    std::copy_n(L"\\System", 7, dir + n);
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

}  // namespace

// One wide search over an explicit list: the narrow call cannot take a list
// without the working directory any better, and Wine's fails with
// ERROR_FILENAME_EXCED_RANGE for any found path of 260 or more instead of
// answering its size. The answer is given as the contract says, in the code
// page every other narrow string here is in.
std::size_t search_executable(const char* name, char* buf, std::size_t capacity) noexcept {
  constexpr int any_path = 32768;
  // PATH can hold up to 32767 characters; the fixed directories come first.
  constexpr std::size_t list_size = any_path + 4 * (MAX_PATH + 8);
  wchar_t wide_name[MAX_PATH];
  if (MultiByteToWideChar(CP_ACP, 0, name, -1, wide_name, MAX_PATH) == 0) return 0;
  const HeapArray<wchar_t> list = allocate_array<wchar_t>(list_size);
  const HeapArray<wchar_t> wide = allocate_array<wchar_t>(any_path);
  const HeapArray<char> full = allocate_array<char>(4 * any_path);  // UTF-8: up to 4 per unit
  if (!list || !wide || !full) return 0;
  build_search_list(list.get(), list_size);
  if (SearchPathW(list.get(), wide_name, nullptr, any_path, wide.get(), nullptr) == 0) return 0;
  const int bytes =
      WideCharToMultiByte(CP_ACP, 0, wide.get(), -1, full.get(), 4 * any_path, nullptr, nullptr);
  if (bytes <= 0) return 0;
  return answer_found_path({full.get(), static_cast<std::size_t>(bytes) - 1}, buf, capacity);
}

namespace {
HKEY handle(RegistryKey key) { return reinterpret_cast<HKEY>(key); }
}  // namespace

bool registry_open(const char* path, std::uint32_t access, RegistryKey* key) noexcept {
  HKEY opened = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, access, &opened) != ERROR_SUCCESS) return false;
  *key = reinterpret_cast<RegistryKey>(opened);
  return true;
}

bool registry_subkey_count(RegistryKey key, std::uint32_t* count) noexcept {
  DWORD subkeys = 0;
  DWORD longest = 0;
  if (RegQueryInfoKeyA(handle(key), nullptr, nullptr, nullptr, &subkeys, &longest, nullptr, nullptr,
                       nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
    return false;
  *count = subkeys;
  return true;
}

bool registry_subkey_name(RegistryKey key, std::uint32_t index, char* name,
                          std::uint32_t* size) noexcept {
  DWORD length = *size;
  if (RegEnumKeyExA(handle(key), index, name, &length, nullptr, nullptr, nullptr, nullptr) !=
      ERROR_SUCCESS)
    return false;
  *size = length;
  return true;
}

bool registry_first_value(RegistryKey key, char* data, std::uint32_t* size) noexcept {
  // Room for the longest value name there can be; on the heap, as a static
  // buffer would be stored in the file as 16 KiB of zeros.
  constexpr DWORD name_capacity = 16383;
  const HeapArray<char> value_name = allocate_array<char>(name_capacity);
  DWORD name_size = name_capacity;
  DWORD data_size = *size;
  const LONG result = value_name
                          ? RegEnumValueA(handle(key), 0, value_name.get(), &name_size, nullptr,
                                          nullptr, reinterpret_cast<BYTE*>(data), &data_size)
                          : ERROR_NOT_ENOUGH_MEMORY;
  // Only a read that succeeded or ran out of room reports a data size; any
  // other failure (no value at all) must not look like data too long.
  *size = result == ERROR_SUCCESS || result == ERROR_MORE_DATA ? data_size : 0;
  return result == ERROR_SUCCESS;
}

void registry_close(RegistryKey key) noexcept { RegCloseKey(handle(key)); }

}  // namespace platform
