#include <algorithm>
#include <string_view>

#include "locate/locate.h"

namespace locate {

HeapArray<char> make_path_block(const char* path) noexcept {
  HeapArray<char> block = allocate_array<char>(path_block_size);
  if (!block) return block;
  const std::string_view text(path);
  std::copy_n(text.begin(), std::min(text.size(), path_block_size - 1), block.get());
  return block;
}

}  // namespace locate
