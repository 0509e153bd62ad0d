// A message's text: its format with the one "%s" replaced, handed over in
// pieces so that each platform can write them where its messages go.
#pragma once

#include <algorithm>
#include <cstring>
#include <string_view>

#include "platform/chars.h"

namespace platform {

// put(text, length) for each piece, in order.
template <typename Put>
void put_message(const char* format, const char* arg, Put put) noexcept {
  const char* at = format;
  while (*at != '\0' && !(at[0] == '%' && at[1] == 's')) ++at;
  put(format, static_cast<std::size_t>(at - format));
  if (*at == '\0') return;
  put(arg, std::strlen(arg));
  put(at + 2, std::strlen(at + 2));
}

// The message appended to the text already in `kept` (`capacity` bytes),
// as much of it as fits; the text stays terminated.
inline void append_message(char* kept, std::size_t capacity, const char* format,
                           const char* arg) noexcept {
  std::size_t used = std::string_view(kept).size();
  put_message(format, arg, [&](const char* piece, std::size_t length) {
    used = static_cast<std::size_t>(
        copy_chars(kept + used, piece, std::min(length, capacity - 1 - used)) - kept);
  });
  kept[used] = '\0';
}

}  // namespace platform
