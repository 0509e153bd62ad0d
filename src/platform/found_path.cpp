#include "platform/found_path.h"

#include <algorithm>

#include "platform/chars.h"
#include "platform/platform.h"

namespace platform {

std::size_t answer_found_path(std::string_view found, char* buf, std::size_t capacity) noexcept {
  if (capacity > 0) put_text(buf, {found.data(), std::min(found.size(), capacity - 1)});
  return found.size();
}

}  // namespace platform
