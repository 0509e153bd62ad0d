// A message's text: its format with the one "%s" replaced, handed over in
// pieces so that each platform can write them where its messages go.
#pragma once

#include <cstring>

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

}  // namespace platform
