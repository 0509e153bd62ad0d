#include "locate/locate.h"
#include "platform/platform.h"

namespace locate {

// In two pieces, as print_error takes one "%s"; what is written is the same.
void warn_partial_path(const char* where, const char* partial) noexcept {
  platform::print_error("Found python %s, but the internal buffer was not long enough ", where);
  platform::print_error("(partial path=%s\n", partial);
}

}  // namespace locate
