// The list of directories the Windows executable search walks, in the
// system's default order but without the implicit working directory.
#pragma once

#include <cstddef>
#include <string_view>

#include "platform/path.h"

namespace platform {

// The launcher's own directory as an entry, from its module path: without
// a trailing separator, unless it is a root ("C:\"), which without it would
// mean the drive's working directory.
template <typename Char>
std::size_t directory_length(const Char* path, std::size_t length) noexcept {
  length = file_name_start(std::basic_string_view<Char>(path, length));
  const bool root = length <= 1 || path[length - 2] == Char(':');
  return root ? length : length - 1;
}

// Removes the empty entries of a ';'-separated list, in place: an empty
// entry would mean the working directory again. Entries written out, "."
// included, stay as they are. Returns the new length.
template <typename Char>
std::size_t drop_empty_entries(Char* list, std::size_t length) noexcept {
  std::size_t kept = 0;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= length; ++i) {
    if (i < length && list[i] != Char(';')) continue;
    if (i > start) {
      if (kept > 0) list[kept++] = Char(';');
      for (std::size_t j = start; j < i; ++j) list[kept++] = list[j];
    }
    start = i + 1;
  }
  if (kept < length) list[kept] = Char(0);
  return kept;
}

}  // namespace platform
