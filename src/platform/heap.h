// An owned, zero-filled heap array on the platform's allocator.
#pragma once

#include <cstddef>

#include "platform/platform.h"

// Owns one block from allocate_zeroed. Smaller than std::unique_ptr in the
// Windows programs: releasing a null block is allowed, so nothing is tested
// on the way out.
template <typename T>
class HeapArray {
 public:
  HeapArray() noexcept = default;
  // Null converts, as for a pointer: "return nullptr;".
  // cppcheck-suppress noExplicitConstructor
  HeapArray(std::nullptr_t) noexcept {}  // NOLINT(google-explicit-constructor)
  explicit HeapArray(T* block) noexcept : block_(block) {}
  HeapArray(HeapArray&& other) noexcept : block_(other.release()) {}
  // The other's block is taken first, so that a move to itself releases
  // nothing.
  HeapArray& operator=(HeapArray&& other) noexcept {
    T* const block = other.release();
    platform::release(block_);
    block_ = block;
    return *this;
  }
  HeapArray(const HeapArray&) = delete;
  HeapArray& operator=(const HeapArray&) = delete;
  ~HeapArray() { platform::release(block_); }

  [[nodiscard]] T* get() const noexcept { return block_; }
  T& operator[](std::size_t i) const noexcept { return block_[i]; }
  explicit operator bool() const noexcept { return block_ != nullptr; }
  friend bool operator==(const HeapArray& a, std::nullptr_t) noexcept {
    return a.block_ == nullptr;
  }
  // Gives the block up to the caller.
  [[nodiscard]] T* release() noexcept {
    T* block = block_;
    block_ = nullptr;
    return block;
  }

 private:
  T* block_ = nullptr;
};

// Null when the memory cannot be had.
template <typename T>
[[nodiscard]] HeapArray<T> allocate_array(std::size_t count) noexcept {
  if (count > static_cast<std::size_t>(-1) / sizeof(T)) return nullptr;
  return HeapArray<T>(static_cast<T*>(platform::allocate_zeroed(count * sizeof(T))));
}
