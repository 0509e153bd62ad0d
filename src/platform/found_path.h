// The executable search's answer, the same on every platform: `found` put
// into the buffer by the rule of platform.h, as much of it as fits.
#pragma once

#include <cstddef>
#include <string_view>

namespace platform {

[[nodiscard]] std::size_t answer_found_path(std::string_view found, char* buf,
                                            std::size_t capacity) noexcept;

}  // namespace platform
