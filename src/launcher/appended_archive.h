// A zip archive appended to the launcher's own file: the single-file form,
// program bytes, then an interpreter line, then the archive.
#pragma once

#include <cstdint>

namespace launcher {

// Finds the archive that ends the open file `fd`, as a zip reader finds one
// with data in front of it: an end-of-central-directory record whose
// comment reaches exactly to the end of the file, and a central directory
// inside the file that begins with its signature. ZIP64 is not read. Any
// other ending (a plain program, random or truncated bytes) is no archive.
// Answers the archive's first byte in the file, or -1 for no archive.
[[nodiscard]] std::int32_t find_appended_archive(int fd) noexcept;

}  // namespace launcher
