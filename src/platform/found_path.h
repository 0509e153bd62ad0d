// The executable search's answer, the same on every platform: the length
// of the path when it fits the buffer, otherwise the size it needs, with as
// much of it as fits (always terminated) left in the buffer.
#pragma once

#include <cstddef>
#include <string_view>

namespace platform {

[[nodiscard]] std::size_t answer_found_path(std::string_view found, char* buf,
                                            std::size_t capacity) noexcept;

}  // namespace platform
