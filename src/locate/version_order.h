// Which of the versions key's subkey names the registry stage uses.
#pragma once

namespace locate {

// True when `name`, read after `chosen`, is to be used instead of it.
// "2.7" comes first, then "2.6". Then a version: a name that begins with
// digits, a dot and digits (X.Y, the rest its suffix), highest X, then
// highest Y, compared as numbers of any length; at equal X.Y a plain name
// over one with a suffix; a free-threaded build (suffix beginning with
// 't') below every other version. Names that are no version come last.
// Equals go to the name read later.
[[nodiscard]] bool replaces_version(const char* name, const char* chosen) noexcept;

}  // namespace locate
