#include "launcher/appended_archive.h"

#include <algorithm>
#include <cstring>

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
constexpr std::uint16_t central_directory = 0x0201;
constexpr std::uint16_t end_of_central_directory = 0x0605;

}  // namespace

// Out of line: inlined into the one function that link-time optimisation
// makes of the launch, it costs the Windows programs more bytes.
[[gnu::noinline]] std::int32_t find_appended_archive(int fd) noexcept {
  const std::int32_t size = platform::file_size(fd);
  if (size < static_cast<std::int32_t>(record_size)) return -1;
  const std::uint32_t tail_size =
      std::min(static_cast<std::uint32_t>(size), record_size + longest_comment);
  const HeapArray<unsigned char> tail = allocate_array<unsigned char>(tail_size);
  if (!tail || !platform::read_file_at(fd, static_cast<std::uint32_t>(size) - tail_size,
                                       reinterpret_cast<char*>(tail.get()), tail_size))
    return -1;

  // The record nearest the end whose comment ends with the file.
  const unsigned char* const end = tail.get() + tail_size;
  const unsigned char* at = end - record_size;
  while (!is_record(at, end_of_central_directory) ||
         read_field<std::uint16_t>(at + 20) != static_cast<std::uint32_t>(end - at) - record_size) {
    if (at == tail.get()) return -1;
    --at;
  }
  const auto record = static_cast<std::uint32_t>(size - (end - at));
  const auto directory_size = read_field<std::uint32_t>(at + 12);
  const auto directory_offset = read_field<std::uint32_t>(at + 16);
  // The directory lies before the record, and the archive's own offsets
  // count from its start, which lies before the directory.
  if (directory_size > record || directory_offset > record - directory_size) return -1;
  const std::uint32_t directory = record - directory_size;
  // Read over the tail's start, which is no longer needed.
  if (!platform::read_file_at(fd, directory, reinterpret_cast<char*>(tail.get()), 4) ||
      !is_record(tail.get(), central_directory))
    return -1;
  return static_cast<std::int32_t>(directory - directory_offset);
}

}  // namespace launcher
