// Bounded path splitting and joining in the platform's own spelling.
// Plain code over the style that the platform reports, so that every
// platform (and the tests' fake) splits paths the same way.
#pragma once

#include <cstddef>
#include <string_view>

#include "platform/platform.h"

namespace platform {

// Each part is NUL-terminated; the buffers follow the classic component
// limits (drive with its colon, then 256 bytes each, terminator included).
struct PathParts {
  char drive[3];
  char dir[256];
  char name[256];
  char ext[256];
};

[[nodiscard]] char separator() noexcept;

// Windows takes either slash as a separator, as its runtime does. For
// narrow and wide paths alike.
template <typename Char>
[[nodiscard]] bool is_separator(Char c) noexcept {
  return c == Char('/') || (c == Char('\\') && path_style() == PathStyle::Windows);
}

// Where the file name begins: just after the last separator, or at 0.
template <typename Char>
[[nodiscard]] std::size_t file_name_start(std::basic_string_view<Char> path) noexcept {
  std::size_t start = path.size();
  while (start > 0 && !is_separator(path[start - 1])) --start;
  return start;
}

// The length of the root that ".." cannot climb above: "C:\", "C:",
// "\\server\share\", "\" or "/"; 0 for a relative path.
[[nodiscard]] std::size_t root_length(std::string_view path) noexcept;

// True when `path` begins with a root: a drive ("C:") or a separator.
[[nodiscard]] bool has_root(std::string_view path) noexcept;

// Splits into drive, directory (with its leading and trailing separators),
// file name and extension (from the last dot of the file name). False when
// a part does not fit its buffer.
[[nodiscard]] bool split_path(const char* path, PathParts* parts) noexcept;

// Joins drive, directory and name into out, adding a separator after a
// non-empty directory that lacks one; answers by the rule of platform.h
// (out empty when it does not fit).
[[nodiscard]] std::size_t join_path(char* out, std::size_t capacity, const char* drive,
                                    const char* dir, const char* name) noexcept;

// Makes a path plain in place without touching the file system, as
// Windows does with a full path: "." and empty components go, ".." takes
// the one before it away but never climbs above the root (a drive, a
// share or "/"), separators become the platform's. The result is never
// longer than the path. Returns its length.
std::size_t normalize_path(char* path) noexcept;

// full_path's answer for a platform without a call of its own: `path`
// normalized, by the rule of platform.h (0 for a path longer than 4095
// bytes).
[[nodiscard]] std::size_t answer_normalized_path(const char* path, char* buf,
                                                 std::size_t capacity) noexcept;

// True when `text` begins with `pattern`, which is written in lower case:
// letters of `text` in any case, and each '\\' of the pattern standing for
// either separator the platform has.
[[nodiscard]] bool begins_with_folded(std::string_view text, std::string_view pattern) noexcept;

}  // namespace platform
