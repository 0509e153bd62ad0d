// Heap memory from the C runtime, for every real platform.
#include <cstdlib>

#include "platform/platform.h"

namespace platform {

void* allocate_zeroed(std::size_t size) noexcept { return std::calloc(1, size == 0 ? 1 : size); }

void release(void* block) noexcept { std::free(block); }

}  // namespace platform
