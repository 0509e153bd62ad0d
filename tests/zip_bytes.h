// Zip archives as bytes: one stored member, as a zip reader (and Python)
// reads it.
#pragma once

#include <cstdint>
#include <string>

namespace zip {

inline std::string little_endian(std::uint32_t value, int bytes) {
  std::string out;
  for (int i = 0; i < bytes; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
  return out;
}

inline std::uint32_t crc32(const std::string& data) {
  std::uint32_t crc = 0xFFFFFFFF;
  for (const char c : data) {
    crc ^= static_cast<unsigned char>(c);
    for (int bit = 0; bit < 8; ++bit) crc = crc >> 1 ^ (0xEDB88320 & (0 - (crc & 1)));
  }
  return ~crc;
}

struct EndRecord {
  std::uint32_t directory_size;
  std::uint32_t directory_offset;
  std::string comment;
  std::uint16_t comment_length;  // as written, whatever the comment's size
};

inline std::string end_record(const EndRecord& r) {
  return "PK\x05\x06" + std::string(4, '\0') + little_endian(1, 2) + little_endian(1, 2) +
         little_endian(r.directory_size, 4) + little_endian(r.directory_offset, 4) +
         little_endian(r.comment_length, 2) + r.comment;
}

// A local header with its data, then the central directory, then the end
// record: the layout every zip writer makes.
inline std::string archive(const std::string& data = "print('hi')\n",
                           const std::string& comment = "") {
  const std::string name = "__main__.py";
  const std::string sizes = little_endian(crc32(data), 4) +
                            little_endian(static_cast<std::uint32_t>(data.size()), 4) +
                            little_endian(static_cast<std::uint32_t>(data.size()), 4);
  const std::string local = "PK\x03\x04" + std::string(10, '\0') + sizes +
                            little_endian(static_cast<std::uint32_t>(name.size()), 2) +
                            little_endian(0, 2) + name + data;
  const std::string directory = "PK\x01\x02" + std::string(12, '\0') + sizes +
                                little_endian(static_cast<std::uint32_t>(name.size()), 2) +
                                std::string(12, '\0') + little_endian(0, 4) + name;
  return local + directory +
         end_record({static_cast<std::uint32_t>(directory.size()),
                     static_cast<std::uint32_t>(local.size()), comment,
                     static_cast<std::uint16_t>(comment.size())});
}

}  // namespace zip
