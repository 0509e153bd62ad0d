#include "launcher/appended_archive.h"

#include <gtest/gtest.h>

#include <string>

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
      // As a zip reader does: the record nearest the end, even inside
      // another record's comment.
      {"a record in another's comment", program + line + zip::archive("outer", inner),
       static_cast<std::int32_t>(program.size() + line.size() + outer_body)},
  };
  for (const auto& c : cases) EXPECT_EQ(find(c.file), c.start) << c.name;
  EXPECT_EQ(fake::state().open_files, 0);
}

}  // namespace
