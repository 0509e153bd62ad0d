// The child's command line: the quoted argument vector joined with single
// blanks, as the C runtime's spawn call joins it.
#pragma once

#include "platform/heap.h"

namespace platform {

// Null when out of memory.
[[nodiscard]] HeapArray<char> join_arguments(const char* const* quoted) noexcept;

}  // namespace platform
