#include <string_view>

#include "locate/locate.h"
#include "platform/path.h"
#include "platform/platform.h"

namespace locate {
namespace {

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
  if (!platform::fits(platform::join_path(work, sizeof work, parts.drive, parts.dir, token),
                      sizeof work))
    return nullptr;
  return make_path_block(work);
}

// What follows "<launcher_dir>" and a separator (in any case), or null.
const char* after_launcher_dir(const char* token) noexcept {
  constexpr std::string_view prefix = "<launcher_dir>\\";
  return platform::begins_with_folded(token, prefix) ? token + prefix.size() : nullptr;
}

// `rest` from the launcher's own directory (the script's), made plain so
// that the interpreter sees the path it would be given by hand.
HeapArray<char> beside_launcher(const char* rest, const char* script_path,
                                Unresolved* why) noexcept {
  platform::PathParts parts;
  // The launcher's directory and a whole interpreter line always fit.
  char joined[2 * path_block_size + 8];
  char work[path_block_size];
  if (!platform::split_path(script_path, &parts) ||
      !platform::fits(platform::join_path(joined, sizeof joined, parts.drive, parts.dir, rest),
                      sizeof joined)) {
    return nullptr;
  }
  const std::size_t length = platform::full_path(joined, work, sizeof work);
  if (length == 0 || !platform::fits(length, sizeof work)) {
    *why = Unresolved::TooLong;
    return nullptr;
  }
  return make_path_block(work);
}

// An absolute interpreter that is not there: the file of its name in the
// launcher's own directory, else in the one above, the first that is a
// file. An environment moved or renamed with its scripts keeps its
// interpreter there (a venv beside them, an install above its Scripts).
// Nowhere else: whoever can write there can replace the launcher itself.
HeapArray<char> as_given_or_moved(const char* token, const char* script_path) noexcept {
  platform::PathParts parts;
  // A launcher with no directory part would look in the working directory.
  if (!platform::file_exists(token) && platform::split_path(script_path, &parts) &&
      parts.dir[0] != '\0') {
    const char* const name = token + platform::file_name_start(std::string_view(token));
    char work[path_block_size];
    // The launcher's directory, then the one above it as the fallback finds it.
    for (int up = 0; up < 2; ++up, drop_last_component(parts.dir)) {
      if (platform::fits(platform::join_path(work, sizeof work, parts.drive, parts.dir, name),
                         sizeof work) &&
          platform::file_exists(work))
        return make_path_block(work);
    }
  }
  return make_path_block(token);
}

// A file of the fallback's name is there: the answer, as it always was.
HeapArray<char> fallback_or_current_user(const char* token, const char* script_path) noexcept {
  HeapArray<char> fallback = beside_parent_directory(token, script_path);
  if (fallback && platform::file_exists(fallback.get())) return fallback;
  // Only where the launch would fail: a Python installed for this user.
  char work[path_block_size];
  if (search_registry_for_python(work, sizeof work, RegistryView::CurrentUser))
    return make_path_block(work);
  return fallback;
}

}  // namespace

HeapArray<char> resolve_interpreter(char* token, const char* script_path,
                                    Unresolved* why) noexcept {
  *why = Unresolved::NoPath;
  for (char* p = token; *p != '\0'; ++p) {
    if (*p == '/') *p = platform::separator();
  }
  if (const char* rest = after_launcher_dir(token)) return beside_launcher(rest, script_path, why);
  if (platform::has_root(token)) return as_given_or_moved(token, script_path);

  // A relative token stands for the machine's Python, wherever it is found.
  char work[path_block_size] = {};
  if (search_path_for_python(work, sizeof work) ||
      search_registry_for_python(work, sizeof work, RegistryView::View64) ||
      search_registry_for_python(work, sizeof work, RegistryView::View32))
    return make_path_block(work);
  return fallback_or_current_user(token, script_path);
}

}  // namespace locate
