#include "locate/locate.h"
#include "locate/store_redirector.h"
#include "platform/platform.h"

namespace locate {

// The first python.exe along the search path that is not the Store's
// redirector; a path too long for buf ends the search with a warning.
bool search_path_for_python(char* buf, std::size_t capacity) noexcept {
  std::size_t place = 0;
  for (;;) {
    const std::size_t from = place;
    const std::size_t found =
        platform::search_executable(platform::program().python, buf, capacity, &place);
    if (found == 0) return false;
    if (!platform::fits(found, capacity)) break;
    if (!is_store_redirector(buf)) return true;
    if (place <= from) return false;  // no place after it to go on with
  }
  warn_partial_path("on the path", buf);
  return false;
}

}  // namespace locate
