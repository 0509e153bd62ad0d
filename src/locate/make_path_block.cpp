#include <algorithm>
#include <string_view>

#include "locate/locate.h"
#include "platform/chars.h"

namespace locate {

HeapArray<char> make_path_block(const char* path) noexcept {
  HeapArray<char> block = allocate_array<char>(path_block_size);
  if (!block) return block;
  const std::string_view text(path);
  copy_chars(block.get(), text.data(), std::min(text.size(), path_block_size - 1));
  return block;
}

}  // namespace locate
