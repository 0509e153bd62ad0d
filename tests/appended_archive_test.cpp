#include "launcher/appended_archive.h"

#include <gtest/gtest.h>

#include <iterator>
#include <string>
#include <vector>

#include "fake_platform.h"
#include "platform/platform.h"
#include "zip_bytes.h"

namespace {

// The end record's signature in the code, as in our own programs.
const std::string program = "MZ" + std::string(300, '\0') + "PK\x05\x06 in the code";
const std::string line = "#!C:\\Py\\python.exe\n";

// The archive's start in `file`, or -1.
std::int32_t find(const std::string& file) {
  fake::reset();
  fake::state().files["f"] = file;
  const int fd = platform::open_binary_file("f");
  const std::int32_t start = launcher::find_appended_archive(fd);
  platform::close_file(fd);
  return start;
}

std::uint32_t size32(const std::string& s) { return static_cast<std::uint32_t>(s.size()); }

// A program of pe_size bytes with a PE32 (or PE32+) header at 0x40 whose
// security entry names `length` bytes at `table`.
constexpr std::uint32_t pe_size = 512;
struct PeHeader {
  bool plus;
  std::uint32_t table;
  std::uint32_t length;
  std::uint32_t directories = 16;
};

std::string pe(const PeHeader& h) {
  std::string optional = zip::little_endian(h.plus ? 0x20B : 0x10B, 2);
  optional.resize(h.plus ? 108 : 92);  // up to the count of data directories
  optional += zip::little_endian(h.directories, 4) + std::string(4 * 8, '\0') +
              zip::little_endian(h.table, 4) + zip::little_endian(h.length, 4);
  std::string out = "MZ" + std::string(0x3A, '\0') + zip::little_endian(0x40, 4) +
                    std::string("PE\0\0", 4) + std::string(20, '\0') + optional;
  out.resize(300, '\0');
  out += "PK\x05\x06 in the code";
  out.resize(pe_size, '\0');
  return out;
}

// What signing appends: zero bytes up to the table, then the table.
const std::string table = zip::little_endian(64, 4) + "\x00\x02\x02\x00" + std::string(56, 'c');
std::string signed_file(bool plus, const std::string& body, std::size_t padding) {
  const auto at = static_cast<std::uint32_t>(pe_size + body.size() + padding);
  return pe({plus, at, size32(table)}) + body + std::string(padding, '\0') + table;
}

struct TailCase {
  const char* name;
  std::string file;
  std::int32_t start;  // -1: no archive
};

TEST(AppendedArchive, FoundOnlyWhereAZipReaderWouldFindIt) {
  const auto before = static_cast<std::int32_t>(program.size() + line.size());
  const std::string zip = zip::archive();
  const std::string body = zip.substr(0, zip.size() - 22);  // without its end record
  const std::size_t at = zip.find("PK\x01\x02");
  const std::string directory = zip.substr(at, body.size() - at);
  const auto record = [](std::uint32_t size, std::uint32_t offset) {
    return zip::end_record({size, offset, "", 0});
  };
  const std::string not_directory = "PK\x03\x04" + directory.substr(4);
  const std::string inner = zip::archive("inner");
  const std::size_t outer_body = zip::archive("outer", inner).size() - inner.size();
  const TailCase cases[] = {
      {"program, line, archive", program + line + zip, before},
      {"an archive alone", zip, 0},
      {"a comment", program + line + zip::archive("x", "made by hand"), before},
      {"a record one byte before the first window read",
       program + line + zip::archive("x", std::string(3947, 'c')), before},
      {"the longest comment", program + line + zip::archive("x", std::string(0xFFFF, 'c')), before},
      {"a comment shorter than it says",
       program + body +
           zip::end_record({size32(directory), size32(body) - size32(directory), "a", 2}),
       -1},
      {"the last byte cut", program + line + zip.substr(0, zip.size() - 1), -1},
      {"a byte after the archive", program + line + zip + "\n", -1},
      {"a plain program", program, -1},
      {"shorter than an end record", zip.substr(zip.size() - 21), -1},
      {"an empty archive", record(0, 0), -1},
      {"a directory that fills all before the record", directory + record(size32(directory), 0), 0},
      {"a directory one byte larger", directory + record(size32(directory) + 1, 0), -1},
      {"offsets that reach the file's start", "x" + directory + record(size32(directory), 1), 0},
      {"offsets one byte before it", "x" + directory + record(size32(directory), 2), -1},
      {"a directory without its signature", not_directory + record(size32(directory), 0), -1},
      // Before the record less 2^32 - 22 lies its comment.
      {"a directory size that wraps round", "x" + zip::end_record({0xFFFFFFEA, 0, "PK\x01\x02", 4}),
       -1},
      // As a zip reader does: the record nearest the end, even inside
      // another record's comment.
      {"a record in another's comment", program + line + zip::archive("outer", inner),
       static_cast<std::int32_t>(program.size() + line.size() + outer_body)},
  };
  for (const auto& c : cases) EXPECT_EQ(find(c.file), c.start) << c.name;
  EXPECT_EQ(fake::state().open_files, 0);
}

TEST(AppendedArchive, SignedAfterItWasWritten) {
  const std::string body = line + zip::archive();
  const std::string commented = line + zip::archive("x", "made by hand");
  const auto start = static_cast<std::int32_t>(pe_size + line.size());
  const std::string unsigned_file = pe({false, 0, 0}) + body;
  const std::uint32_t end = size32(unsigned_file) + size32(table);
  const auto lying = [&](PeHeader h) { return pe(h) + body + table; };
  const auto patched = [&](std::size_t at, char byte) {
    std::string file = signed_file(false, body, 0);
    file[at] = byte;
    return file;
  };
  std::vector<TailCase> cases;
  for (std::size_t padding = 0; padding <= 7; ++padding) {
    cases.push_back({"PE32", signed_file(false, body, padding), start});
    cases.push_back({"PE32+", signed_file(true, body, padding), start});
  }
  const TailCase more[] = {
      {"a comment before the padding", signed_file(true, commented, 5), start},
      {"eight zero bytes before the table", signed_file(false, body, 8), -1},
      {"a byte before the table that is no padding", signed_file(false, body + "\x01", 0), -1},
      {"a signed plain program", signed_file(false, line, 0), -1},
      {"a table one byte short of the end", lying({true, end - size32(table), size32(table) - 1}),
       -1},
      {"a table past the end", lying({true, end - size32(table), size32(table) + 1}), -1},
      {"offset and size that wrap", lying({true, 0xFFFFFF00, end + 0x100}), -1},
      {"offset 0", lying({false, 0, end}), -1},
      {"four data directories", lying({false, end - size32(table), size32(table), 4}), -1},
      {"five data directories", lying({false, end - size32(table), size32(table), 5}), start},
      {"no MZ", patched(0, 'X'), -1},
      {"optional-header magic 0x10C", patched(0x40 + 24, '\x0C'), -1},
      {"an empty table after 3 zero bytes",
       pe({false, size32(unsigned_file) + 3, 0}) + body + std::string(3, '\0'), -1},
      {"a PE header one byte too near the end",
       signed_file(false, body, 0).substr(0, 0x3C) + zip::little_endian(end - 175, 4) +
           signed_file(false, body, 0).substr(0x40),
       -1},
      // The file as it stands ends in an archive: read as unsigned.
      {"a table inside an archive that ends the file",
       pe({false, size32(unsigned_file) - 40, 40}) + body, start},
  };
  cases.insert(cases.end(), std::begin(more), std::end(more));
  for (const auto& c : cases) EXPECT_EQ(find(c.file), c.start) << c.name << " " << c.file.size();
}

}  // namespace
