#include "platform/path.h"

#include <algorithm>
#include <string_view>

#include "platform/chars.h"
#include "platform/found_path.h"
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
  put_text(buf, part);
  return true;
}

bool has_drive(std::string_view path) noexcept {
  return windows() && path.size() >= 2 && path[1] == ':';
}

}  // namespace

bool has_root(std::string_view path) noexcept {
  return has_drive(path) || (!path.empty() && is_separator(path[0]));
}

std::size_t root_length(std::string_view path) noexcept {
  if (has_drive(path)) return path.size() > 2 && is_separator(path[2]) ? 3 : 2;
  if (!has_root(path)) return 0;
  if (!windows() || path.size() < 2 || !is_separator(path[1])) return 1;
  // A share: two separators, the server, one, the share name, one.
  std::size_t i = 2;
  for (int part = 0; part < 2 && i < path.size(); ++part) {
    while (i < path.size() && !is_separator(path[i])) ++i;
    if (i < path.size()) ++i;
  }
  return i;
}

char separator() noexcept { return windows() ? '\\' : '/'; }

bool split_path(const char* path, PathParts* parts) noexcept {
  const std::string_view all(path);
  const std::size_t drive = has_drive(all) ? 2 : 0;
  const std::size_t name = std::max(drive, file_name_start(all));
  // The extension starts at the last dot of the file name.
  std::size_t ext = all.size();
  while (ext > name && all[ext - 1] != '.') --ext;
  ext = ext > name ? ext - 1 : all.size();
  // Evaluate every part so that none is left unterminated.
  const bool ok_drive = put(parts->drive, {path, drive});
  const bool ok_dir = put(parts->dir, {path + drive, name - drive});
  const bool ok_name = put(parts->name, {path + name, ext - name});
  const bool ok_ext = put(parts->ext, {path + ext, all.size() - ext});
  return ok_drive && ok_dir && ok_name && ok_ext;
}

std::size_t join_path(char* out, std::size_t capacity, const char* drive, const char* dir,
                      const char* name) noexcept {
  const std::string_view d(drive);
  const std::string_view p(dir);
  const std::string_view n(name);
  const bool add_sep = !p.empty() && !is_separator(p.back());
  const std::size_t length = d.size() + p.size() + (add_sep ? 1 : 0) + n.size();
  if (!fits(length, capacity)) {
    if (capacity > 0) out[0] = '\0';
    return length;
  }
  char* w = copy_chars(out, d.data(), d.size());
  w = copy_chars(w, p.data(), p.size());
  if (add_sep) *w++ = separator();
  put_text(w, n);
  return length;
}

std::size_t normalize_path(char* path) noexcept {
  const std::size_t size = std::string_view(path).size();
  const std::size_t root = root_length({path, size});
  for (std::size_t i = 0; i < root; ++i) {
    if (is_separator(path[i])) path[i] = separator();
  }
  // The write position never passes the read position: the root is kept as
  // it is, and each component is written with at most the one separator
  // that stood before it.
  std::size_t used = root;
  std::size_t read = root;
  while (read < size) {
    std::size_t end = read;
    while (end < size && !is_separator(path[end])) ++end;
    const std::string_view part(path + read, end - read);
    read = end + 1;
    const bool dot = !part.empty() && part[0] == '.';
    if (part.empty() || (dot && part.size() == 1)) continue;
    if (dot && part.size() == 2 && part[1] == '.') {
      while (used > root && path[used - 1] != separator()) --used;
      if (used > root) --used;  // the separator before the dropped component
      continue;
    }
    if (used > root) path[used++] = separator();
    for (const char c : part) path[used++] = c;
  }
  path[used] = '\0';
  return used;
}

std::size_t answer_normalized_path(const char* path, char* buf, std::size_t capacity) noexcept {
  char plain[4096];
  const std::string_view text(path);
  if (text.size() >= sizeof plain) return 0;
  put_text(plain, text);
  return answer_found_path({plain, normalize_path(plain)}, buf, capacity);
}

bool begins_with_folded(std::string_view text, std::string_view pattern) noexcept {
  if (text.size() < pattern.size()) return false;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    const char c = ascii_lower(text[i]);
    if (pattern[i] == '\\' ? !is_separator(c) : c != pattern[i]) return false;
  }
  return true;
}

}  // namespace platform
