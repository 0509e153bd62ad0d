#include "locate/locate.h"
#include "platform/platform.h"

namespace locate {

bool search_path_for_python(char* buf, std::size_t capacity) noexcept {
  const std::size_t found = platform::search_executable(platform::program().python, buf, capacity);
  if (found == 0) return false;
  if (found < capacity) return true;
  buf[capacity - 1] = '\0';
  platform::print_error(
      "Found python on the path, but the internal buffer was not long enough "
      "(partial path=%s\n",
      buf);
  return false;
}

}  // namespace locate
