// An owned, zero-filled heap array on the platform's allocator.
#pragma once

#include <cstddef>
#include <memory>

#include "platform/platform.h"

struct PlatformRelease {
  void operator()(void* block) const noexcept { platform::release(block); }
};

template <typename T>
using HeapArray = std::unique_ptr<T[], PlatformRelease>;

// Null when the memory cannot be had.
template <typename T>
[[nodiscard]] HeapArray<T> allocate_array(std::size_t count) noexcept {
  if (count > static_cast<std::size_t>(-1) / sizeof(T)) return nullptr;
  return HeapArray<T>(static_cast<T*>(platform::allocate_zeroed(count * sizeof(T))));
}
