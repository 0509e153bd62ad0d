#include "platform/join_arguments.h"

#include <algorithm>
#include <string_view>

#include "platform/chars.h"

namespace platform {

HeapArray<char> join_arguments(const char* const* quoted) noexcept {
  std::size_t total = 1;
  for (const char* const* a = quoted; *a != nullptr; ++a) total += std::string_view(*a).size() + 1;
  HeapArray<char> line = allocate_array<char>(total);
  if (!line) return line;
  char* w = line.get();
  for (const char* const* a = quoted; *a != nullptr; ++a) {
    if (a != quoted) *w++ = ' ';
    const std::string_view arg(*a);
    w = copy_chars(w, arg.data(), arg.size());
  }
  return line;
}

}  // namespace platform
