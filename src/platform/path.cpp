#include "platform/path.h"

#include <algorithm>
#include <string_view>

#include "platform/platform.h"

namespace platform {
namespace {

bool windows() noexcept { return path_style() == PathStyle::Windows; }

// Copies part into a buffer of `size` bytes with its terminator.
template <std::size_t size>
bool put(char (&buf)[size], std::string_view part) noexcept {
  if (part.size() >= size) {
    buf[0] = '\0';
    return false;
  }
  *std::copy(part.begin(), part.end(), buf) = '\0';
  return true;
}

// The first n bytes; unlike substr it cannot throw, which would pull the
// C++ exception runtime into the launcher.
constexpr std::string_view prefix(std::string_view s, std::size_t n) noexcept {
  return {s.data(), n};
}

}  // namespace

char separator() noexcept { return windows() ? '\\' : '/'; }

// Windows accepts either slash as a separator, as its runtime does.
bool is_separator(char c) noexcept { return c == '/' || (c == '\\' && windows()); }

bool split_path(const char* path, PathParts* parts) noexcept {
  std::string_view rest(path);
  std::string_view drive;
  if (windows() && rest.size() >= 2 && rest[1] == ':') {
    drive = prefix(rest, 2);
    rest.remove_prefix(2);
  }
  const auto last_sep = std::find_if(rest.rbegin(), rest.rend(), is_separator).base();
  const auto dir_len = static_cast<std::size_t>(last_sep - rest.begin());
  const std::string_view dir = prefix(rest, dir_len);
  rest.remove_prefix(dir_len);
  const std::size_t dot = std::min(rest.rfind('.'), rest.size());
  const std::string_view name = prefix(rest, dot);
  rest.remove_prefix(dot);
  const std::string_view ext = rest;
  // Evaluate every part so that none is left unterminated.
  const bool ok_drive = put(parts->drive, drive);
  const bool ok_dir = put(parts->dir, dir);
  const bool ok_name = put(parts->name, name);
  const bool ok_ext = put(parts->ext, ext);
  return ok_drive && ok_dir && ok_name && ok_ext;
}

bool join_path(char* out, std::size_t capacity, const char* drive, const char* dir,
               const char* name) noexcept {
  const std::string_view d(drive);
  const std::string_view p(dir);
  const std::string_view n(name);
  const bool add_sep = !p.empty() && !is_separator(p.back());
  const std::size_t length = d.size() + p.size() + (add_sep ? 1 : 0) + n.size();
  if (capacity == 0) return false;
  if (length >= capacity) {
    out[0] = '\0';
    return false;
  }
  char* w = std::copy(d.begin(), d.end(), out);
  w = std::copy(p.begin(), p.end(), w);
  if (add_sep) *w++ = separator();
  w = std::copy(n.begin(), n.end(), w);
  *w = '\0';
  return true;
}

}  // namespace platform
