#include "launcher/appended_archive.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "platform/platform.h"

namespace launcher {
namespace {

constexpr std::uint32_t record_size = 22;  // the end record without its comment
constexpr std::uint32_t longest_comment = 0xFFFF;
// The file is read from its end in windows of this size, one buffer on the
// stack for all: most archives end in a record without a comment, found in
// the first, and a plain program's last 64 KiB go through a buffer that
// stays in the cache rather than into 16 fresh pages. Under 4 KiB with the
// rest of the frame: a larger frame needs a stack probe, which the
// Windows programs do not link.
constexpr std::uint32_t window_size = 3968;
// A certificate table starts on an 8-byte boundary, after zero bytes.
constexpr std::uint32_t longest_padding = 7;

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

// The start of the archive whose end record's comment ends at `end`, or at
// most `padding` zero bytes before it; -1 for none. The record nearest the
// end is taken, as a zip reader takes it.
std::int32_t archive_ending_at(int fd, std::uint32_t end, std::uint32_t padding,
                               unsigned char* window) {
  const std::uint32_t lowest = end - std::min(end, record_size + longest_comment + padding);
  std::uint32_t high = end;
  for (;;) {
    const std::uint32_t low = std::max(lowest, high - std::min(high, window_size));
    const std::uint32_t size = high - low;
    if (size < record_size ||
        !platform::read_file_at(fd, low, reinterpret_cast<char*>(window), size))
      return -1;
    if (high == end) {
      std::uint32_t zeros = 0;
      while (zeros < padding && window[size - 1 - zeros] == 0) ++zeros;
      padding = zeros;
    }
    // Each "K" that can be a record's second byte is looked at, from the
    // first on: the rarest of its bytes in programs, and the library's
    // search skips fast over the rest.
    const std::string_view seconds(reinterpret_cast<const char*>(window), size - record_size + 2);
    std::uint32_t found = 0;  // one past the record's place in the window
    for (std::size_t k = 0; (k = seconds.find('K', k + 1)) != std::string_view::npos;) {
      const std::uint32_t room = end - (low + static_cast<std::uint32_t>(k) - 1) - record_size;
      const auto comment = read_field<std::uint16_t>(&window[k + 19]);
      // A comment past `end` wraps round to more than any padding.
      if (is_record(&window[k - 1], end_of_central_directory) && room - comment <= padding)
        found = static_cast<std::uint32_t>(k);
    }
    if (found != 0) {
      const unsigned char* const at = &window[found - 1];
      const std::uint32_t record = low + found - 1;
      const auto directory_size = read_field<std::uint32_t>(at + 12);
      const auto directory_offset = read_field<std::uint32_t>(at + 16);
      // The directory lies before the record, and the archive's own offsets
      // count from its start, which lies before the directory.
      if (directory_size > record || directory_offset > record - directory_size) return -1;
      const std::uint32_t directory = record - directory_size;
      if (!platform::read_file_at(fd, directory, reinterpret_cast<char*>(window), 4) ||
          read_field<std::uint32_t>(window) != central_directory)
        return -1;
      return static_cast<std::int32_t>(directory - directory_offset);
    }
    if (low == lowest) return -1;
    high = low + record_size - 1;  // a record across the two windows
  }
}

// Where the PE header's security entry puts a certificate table that ends
// the file (a program signed after it was written), or 0 for none: not a
// PE, no such entry, or one that names no table ending exactly there.
std::uint32_t certificate_table(int fd, std::uint32_t size, unsigned char* header) {
  // "MZ", then the PE header's place; the signature, the file header and
  // the optional header up to the security entry of a PE32+.
  constexpr std::uint32_t pe_header_size = 4 + 20 + 112 + 4 * 8 + 8;
  if (size < pe_header_size ||
      !platform::read_file_at(fd, 0, reinterpret_cast<char*>(header), 64) ||
      read_field<std::uint16_t>(header) != 0x5A4D)
    return 0;
  const auto pe = read_field<std::uint32_t>(header + 0x3C);
  if (pe > size - pe_header_size ||
      !platform::read_file_at(fd, pe, reinterpret_cast<char*>(header), pe_header_size) ||
      read_field<std::uint32_t>(header) != 0x00004550)
    return 0;
  // The optional header's magic is 0x10B in a PE32 and 0x20B in a PE32+,
  // whose data directories lie 16 bytes further on; the count of them
  // comes just before them.
  const auto magic = static_cast<std::uint16_t>(read_field<std::uint16_t>(header + 24) - 0x10B);
  if ((magic & ~0x100U) != 0) return 0;
  const unsigned char* const directories = header + 24 + 96 + (magic >> 4);
  // The security entry is the fifth directory: a file offset and a size.
  const unsigned char* const security = directories + 32;
  const auto offset = read_field<std::uint32_t>(security);
  const auto length = read_field<std::uint32_t>(security + 4);
  if (read_field<std::uint32_t>(directories - 4) <= 4 || length == 0 || length > size ||
      offset != size - length)
    return 0;
  return offset;
}

}  // namespace

// Out of line: inlined into the one function that link-time optimisation
// makes of the launch, it costs the Windows programs more bytes.
[[gnu::noinline]] std::int32_t find_appended_archive(int fd) noexcept {
  const std::int32_t size = platform::file_size(fd);
  if (size < static_cast<std::int32_t>(record_size)) return -1;
  const auto end = static_cast<std::uint32_t>(size);
  unsigned char window[window_size];  // filled before it is read
  // An archive that ends the file, else one before the certificate table
  // that signing appends: a security entry that names anything else, or
  // no archive before its table, changes nothing.
  const std::int32_t start = archive_ending_at(fd, end, 0, window);
  if (start >= 0) return start;
  const std::uint32_t table = certificate_table(fd, end, window);
  return table == 0 ? -1 : archive_ending_at(fd, table, longest_padding, window);
}

}  // namespace launcher
