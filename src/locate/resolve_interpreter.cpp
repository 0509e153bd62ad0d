#include <string_view>

#include "locate/locate.h"
#include "platform/path.h"

namespace locate {
namespace {

bool is_absolute(const char* token) noexcept {
  platform::PathParts parts;
  return platform::split_path(token, &parts) &&
         (parts.drive[0] != '\0' || platform::is_separator(parts.dir[0]));
}

// Drops the last component of a directory part: "\Py\Scripts\" becomes
// "\Py\". Exactly one trailing separator is skipped, so a doubled one leaves
// the directory whole, and a lone root separator stays.
void drop_last_component(char* dir) noexcept {
  auto i = static_cast<std::ptrdiff_t>(std::string_view(dir).size()) - 1;
  if (i >= 0 && platform::is_separator(dir[i])) --i;
  for (; i >= 0 && !platform::is_separator(dir[i]); --i) dir[i] = '\0';
}

// The token in the directory above the script's own directory.
HeapArray<char> beside_parent_directory(const char* token, const char* script_path) noexcept {
  platform::PathParts parts;
  if (!platform::split_path(script_path, &parts)) return nullptr;
  drop_last_component(parts.dir);
  char work[path_block_size];
  if (!platform::join_path(work, sizeof work, parts.drive, parts.dir, token)) return nullptr;
  return make_path_block(work);
}

}  // namespace

HeapArray<char> resolve_interpreter(char* token, const char* script_path) noexcept {
  for (char* p = token; *p != '\0'; ++p) {
    if (*p == '/') *p = platform::separator();
  }
  if (is_absolute(token)) return make_path_block(token);

  // A relative token stands for the machine's Python, wherever it is found.
  char work[path_block_size] = {};
  if (search_path_for_python(work, sizeof work) ||
      search_registry_for_python(work, sizeof work, RegistryView::View64) ||
      search_registry_for_python(work, sizeof work, RegistryView::View32))
    return make_path_block(work);
  return beside_parent_directory(token, script_path);
}

}  // namespace locate
