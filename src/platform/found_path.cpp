#include "platform/found_path.h"

#include <algorithm>

#include "platform/chars.h"

namespace platform {

std::size_t answer_found_path(std::string_view found, char* buf, std::size_t capacity) noexcept {
  if (capacity == 0) return found.size() + 1;
  const bool fits = found.size() < capacity;
  const std::size_t kept = fits ? found.size() : capacity - 1;
  *copy_chars(buf, found.data(), kept) = '\0';
  return fits ? found.size() : found.size() + 1;
}

}  // namespace platform
