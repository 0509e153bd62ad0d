#include "launcher/appended_archive.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "platform/heap.h"
#include "platform/platform.h"

namespace launcher {
namespace {

constexpr std::uint32_t record_size = 22;  // the end record without its comment
constexpr std::uint32_t longest_comment = 0xFFFF;

// Fields are little-endian, as is every machine the launcher runs on.
template <typename Field>
Field read_field(const unsigned char* p) {
  Field field;
  std::memcpy(&field, p, sizeof field);
  return field;
}

// "PK" and a record's two type bytes, compared apart: the end record's
// signature as one 32-bit constant would sit in our own code, where a scan
// of a plain program could take it for a record.
bool is_record(const unsigned char* p, std::uint16_t type) {
  return read_field<std::uint16_t>(p) == 0x4B50 && read_field<std::uint16_t>(p + 2) == type;
}
constexpr std::uint16_t end_of_central_directory = 0x0605;
// Harmless whole: no scan looks for it.
constexpr std::uint32_t central_directory = 0x02014B50;

}  // namespace

// Out of line: inlined into the one function that link-time optimisation
// makes of the launch, it costs the Windows programs more bytes.
[[gnu::noinline]] std::int32_t find_appended_archive(int fd) noexcept {
  const std::int32_t size = platform::file_size(fd);
  if (size < static_cast<std::int32_t>(record_size)) return -1;
  const std::uint32_t tail_size =
      std::min(static_cast<std::uint32_t>(size), record_size + longest_comment);
  const HeapArray<unsigned char> tail = allocate_read_buffer(tail_size);
  if (!tail || !platform::read_file_at(fd, static_cast<std::uint32_t>(size) - tail_size,
                                       reinterpret_cast<char*>(tail.get()), tail_size))
    return -1;

  // The record nearest the end whose comment ends with the file. Each "K"
  // that can be a record's second byte is looked at, from the first on:
  // the rarest of its bytes in programs, and the library's search skips
  // fast over the rest of a plain program's tail.
  const std::string_view seconds(reinterpret_cast<const char*>(tail.get()),
                                 tail_size - record_size + 2);
  std::uint32_t found = 0;  // one past the record's place in the tail
  for (std::size_t k = 0; (k = seconds.find('K', k + 1)) != std::string_view::npos;) {
    if (is_record(&tail[k - 1], end_of_central_directory) &&
        read_field<std::uint16_t>(&tail[k + 19]) == tail_size - record_size - (k - 1))
      found = static_cast<std::uint32_t>(k);
  }
  if (found == 0) return -1;
  const unsigned char* const at = &tail[found - 1];
  const std::uint32_t record = static_cast<std::uint32_t>(size) - tail_size + found - 1;
  const auto directory_size = read_field<std::uint32_t>(at + 12);
  const auto directory_offset = read_field<std::uint32_t>(at + 16);
  // The directory lies before the record, and the archive's own offsets
  // count from its start, which lies before the directory.
  if (directory_size > record || directory_offset > record - directory_size) return -1;
  const std::uint32_t directory = record - directory_size;
  // Read over the tail's start, which is no longer needed.
  if (!platform::read_file_at(fd, directory, reinterpret_cast<char*>(tail.get()), 4) ||
      read_field<std::uint32_t>(tail.get()) != central_directory)
    return -1;
  return static_cast<std::int32_t>(directory - directory_offset);
}

}  // namespace launcher
