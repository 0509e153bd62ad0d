// The platform on POSIX systems. Windows paths, registry and runtime are
// mapped onto their nearest counterparts: '/' paths without drives, PATH
// searched for "python3", no registry at all.
#include "platform/platform.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/chars.h"
#include "platform/found_path.h"
#include "platform/path.h"
#include "platform/programs.h"

namespace platform {

PathStyle path_style() noexcept { return PathStyle::Posix; }

// One program on POSIX: the console launcher.
const Program& program() noexcept { return posix_console; }

void program_started() noexcept {}

// readlink cuts a long path to the buffer without a terminator.
std::size_t module_path(char* buf, std::size_t capacity) noexcept {
  const ssize_t n = readlink("/proc/self/exe", buf, capacity);
  if (n <= 0) return 0;
  const auto length = static_cast<std::size_t>(n);
  end_text(buf, length, capacity);
  return length;
}

int open_file(const char* path) noexcept {
  return open(path, O_RDONLY | O_CLOEXEC);  // NOLINT(cppcoreguidelines-pro-type-vararg)
}

int read_file(int fd, char* buf, unsigned count) noexcept {
  ssize_t n = 0;
  do {
    n = read(fd, buf, count);
  } while (n < 0 && errno == EINTR);
  return static_cast<int>(n);
}

void close_file(int fd) noexcept { close(fd); }

// File names are bytes here: the line is taken as it is.
std::size_t line_as_utf8(char* /*line*/, std::size_t length, std::size_t /*capacity*/) noexcept {
  return length;
}

int open_binary_file(const char* path) noexcept { return open_file(path); }

std::int32_t file_size(int fd) noexcept {
  struct stat st {};
  if (fstat(fd, &st) != 0 || st.st_size > INT32_MAX) return -1;
  return static_cast<std::int32_t>(st.st_size);
}

// A read of a regular file ends short only at its end.
bool read_file_at(int fd, std::uint32_t offset, char* buf, unsigned count) noexcept {
  ssize_t n = 0;
  do {
    n = pread(fd, buf, count, static_cast<off_t>(offset));
  } while (n < 0 && errno == EINTR);
  return n == static_cast<ssize_t>(count);
}

namespace {

bool is_executable_file(const char* path) noexcept {
  struct stat st {};
  return stat(path, &st) == 0 && S_ISREG(st.st_mode) && access(path, X_OK) == 0;
}

// dir + "/" + name into out, made absolute against the working directory
// the way a search that answers full paths must. False when too long.
bool candidate_path(const char* dir, std::size_t dir_len, const char* name, char* out,
                    std::size_t size) noexcept {
  std::size_t used = 0;
  if (dir_len == 0 || dir[0] != '/') {
    if (getcwd(out, size) == nullptr) return false;
    used = std::strlen(out);
    if (used + 1 < size && out[used - 1] != '/') out[used++] = '/';
  }
  const int n = std::snprintf(out + used, size - used, "%.*s%s%s",  // NOLINT
                              static_cast<int>(dir_len), dir, dir_len > 0 ? "/" : "", name);
  return n >= 0 && static_cast<std::size_t>(n) < size - used;
}

}  // namespace

bool file_exists(const char* path) noexcept {
  struct stat st {};
  return stat(path, &st) == 0 && !S_ISDIR(st.st_mode);
}

// PATH's entries are its places, an empty one (the working directory)
// included.
std::size_t search_executable(const char* name, char* buf, std::size_t capacity,
                              std::size_t* place) noexcept {
  const char* path = std::getenv("PATH");  // NOLINT(concurrency-mt-unsafe)
  if (path == nullptr) path = "/usr/local/bin:/usr/bin:/bin";
  char candidate[4096];
  for (std::size_t index = 0;; ++index) {
    const char* end = std::strchr(path, ':');
    const std::size_t len = end ? static_cast<std::size_t>(end - path) : std::strlen(path);
    if (index >= *place && candidate_path(path, len, name, candidate, sizeof candidate) &&
        is_executable_file(candidate)) {
      *place = index + 1;
      return answer_found_path(candidate, buf, capacity);
    }
    if (end == nullptr) return 0;
    path = end + 1;
  }
}

std::size_t full_path(const char* path, char* buf, std::size_t capacity) noexcept {
  return answer_normalized_path(path, buf, capacity);
}

// No file system here has App Execution Aliases.
std::size_t read_reparse_point(const char* /*path*/, unsigned char* /*buf*/,
                               std::size_t /*capacity*/) noexcept {
  return 0;
}

// There is no registry here: every registry stage finds nothing.
bool registry_open(Hive /*hive*/, const char* /*path*/, std::uint32_t /*access*/,
                   RegistryKey* /*key*/) noexcept {
  return false;
}
bool registry_subkey_count(RegistryKey /*key*/, std::uint32_t* /*count*/) noexcept { return false; }
std::size_t registry_subkey_name(RegistryKey /*key*/, std::uint32_t /*index*/, char* /*name*/,
                                 std::size_t /*capacity*/) noexcept {
  return 0;
}
bool registry_value(RegistryKey /*key*/, const char* /*name*/, char* /*data*/,
                    std::size_t /*capacity*/, std::size_t* /*length*/) noexcept {
  return false;
}
void registry_close(RegistryKey /*key*/) noexcept {}

void print_error(const char* format, const char* arg) noexcept {
  std::fprintf(stderr, format, arg);  // NOLINT(cppcoreguidelines-pro-type-vararg)
}

// The message is already on standard error.
void failure_reported() noexcept {}

}  // namespace platform
