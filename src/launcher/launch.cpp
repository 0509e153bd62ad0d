#include "launcher/launch.h"

#include <algorithm>
#include <cstdint>
#include <string_view>

#include "cmdline/cmdline.h"
#include "launcher/appended_archive.h"
#include "locate/locate.h"
#include "platform/chars.h"
#include "platform/path.h"
#include "platform/platform.h"
#include "platform/wtf8.h"

namespace launcher {
namespace {

constexpr std::size_t path_buffer_size = 256;
constexpr std::size_t line_read_size = 256;
constexpr std::size_t script_buffer_size = path_buffer_size + platform::longest_script_suffix;
// Before an appended archive: the longest line, its CR and LF, and the
// byte that ends the data before the line. It is read after the buffer's
// first byte, a NUL that ends every backward walk.
constexpr std::size_t line_window_size = line_read_size + 3;
// Made UTF-8, a line read in a legacy code page takes up to three bytes for
// each of its own.
using LineBuffer = char[std::max(1 + line_window_size + 1, 3 * line_read_size + 1)];

// The launcher's path, `length` long, with its extension replaced by the
// program's script suffix ("-script.py"). Only a dot in the file name
// starts an extension; without one the suffix goes after the whole path.
// Fails when the result does not fit.
bool companion_script_path(char (&path)[script_buffer_size], std::size_t length) {
  const std::string_view script_suffix(platform::program().script_suffix);
  const std::string_view module(path, length);
  const std::size_t dot = module.rfind('.');
  const bool in_name = dot != std::string_view::npos && dot >= platform::file_name_start(module);
  const std::size_t end = in_name ? dot : length;
  put_text(path + end, script_suffix);
  return platform::fits(end + script_suffix.size(), path_buffer_size);
}

bool ends_line(char c) { return c == '\0' || c == '\n' || c == '\r'; }

// Where the interpreter line lies in the line buffer, before it is taken.
struct LineSpan {
  std::size_t from;
  std::size_t to;
};

// The line that ends (LF or CRLF) just before the archive at `start`, read
// into the line buffer; it starts after the LF, CR or NUL before it, or at
// the window's start when it is longer than a line can be. Without that
// line end there is no interpreter line, as in a script without "#!".
// Out of line, as find_appended_archive is.
[[gnu::noinline]] LineSpan line_before(int fd, std::uint32_t start, LineBuffer& line) {
  const std::uint32_t window = std::min<std::uint32_t>(start, line_window_size);
  line[0] = '\0';
  if (!platform::read_file_at(fd, start - window, line + 1, window) || line[window] != '\n')
    return {0, 0};
  std::size_t from = line[window - 1] == '\r' ? window - 1 : window;
  while (!ends_line(line[from - 1])) --from;
  return {from, window};
}

// The interpreter line out of line[from, to): cut at its first NUL, CR or
// LF and moved to the buffer's start; a line without "#!" becomes the
// default line. A UTF-8 byte-order mark that an editor put first is not
// part of the line. Answers the length of the line as it was cut. Out of
// line, as find_appended_archive is.
[[gnu::noinline]] std::size_t take_interpreter_line(LineBuffer& line, LineSpan span) {
  const std::size_t to = span.to;
  std::size_t i = span.from;
  if (to - i >= 3 && line[i] == '\xEF' && line[i + 1] == '\xBB' && line[i + 2] == '\xBF') i += 3;
  // The line moves down, one byte at a time (the two may overlap).
  std::size_t length = 0;
  while (i < to && !ends_line(line[i])) line[length++] = line[i++];
  line[length] = '\0';
  if (line[0] == '#' && line[1] == '!') return length;
  const std::string_view default_line(platform::program().default_line);
  put_text(line, {default_line.data(), std::min(default_line.size(), line_read_size)});
  return length;
}

// The child's argument vector, every element quoted, null-terminated; its
// strings are released with it.
class ChildArguments {
 public:
  explicit ChildArguments(std::size_t slots)
      : slots_(allocate_array<char*>(slots + 1)), size_(slots_ ? slots : 0) {}
  ChildArguments(const ChildArguments&) = delete;
  ChildArguments& operator=(const ChildArguments&) = delete;
  ~ChildArguments() {
    for (std::size_t i = 0; i < size_; ++i) platform::release(slots_[i]);
  }

  // False when memory runs out.
  bool set(std::size_t slot, const char* arg) {
    slots_[slot] = cmdline::quote_argument(arg).release();
    return slots_[slot] != nullptr;
  }
  [[nodiscard]] bool allocated() const { return slots_ != nullptr; }
  [[nodiscard]] const char* const* vector() const { return slots_.get(); }

 private:
  HeapArray<char*> slots_;
  std::size_t size_;
};

// Interpreter, its options, the script, then the launcher's own arguments
// after its program name.
bool fill_child_arguments(ChildArguments& child, const char* interpreter,
                          const cmdline::TokenList& tokens, const char* script, int argc,
                          const char* const* argv) {
  const auto count = static_cast<std::size_t>(tokens.count);
  bool ok = child.allocated() && child.set(0, interpreter);
  for (std::size_t i = 1; ok && i < count; ++i) ok = child.set(i, tokens.tokens[i]);
  ok = ok && child.set(count, script);
  for (int i = 1; ok && i < argc; ++i) ok = child.set(count + static_cast<std::size_t>(i), argv[i]);
  return ok;
}

}  // namespace

int launch(int argc, const char* const* argv) noexcept {
  // The launcher's own path: the script itself when an archive is appended
  // to it, else the base of its companion's path.
  char script[script_buffer_size] = {};
  const std::size_t length = platform::module_path(script, path_buffer_size);
  const bool whole = length != 0 && platform::fits(length, path_buffer_size);
  LineBuffer line;  // read before it is looked at
  LineSpan span{0, 0};
  const int own = whole ? platform::open_binary_file(script) : -1;
  const std::int32_t archive = own < 0 ? -1 : find_appended_archive(own);
  if (archive >= 0) span = line_before(own, static_cast<std::uint32_t>(archive), line);
  if (own >= 0) platform::close_file(own);
  if (archive < 0) {
    // The companion's first line, within its first line_read_size bytes (a
    // mark before it counts in them).
    const int fd =
        whole && companion_script_path(script, length) ? platform::open_file(script) : -1;
    if (fd < 0) return report_failure("Cannot open %s\n", script);
    span.to = static_cast<std::size_t>(std::max(platform::read_file(fd, line, line_read_size), 0));
    // A read that filled its buffer may end within a character. On Windows,
    // a line cut there would look like one in the legacy code page; POSIX
    // passes bytes on as they are.
    if (span.to == line_read_size && platform::path_style() == platform::PathStyle::Windows)
      span.to = platform::whole_characters({line, span.to});
    platform::close_file(fd);
  }
  // Only a line before an archive can be longer than the companion's cut.
  if (take_interpreter_line(line, span) > line_read_size)
    return report_failure("Interpreter line too long in %s\n", script);
  // After "#!", which reads the same in every code page.
  platform::line_as_utf8(line + 2, std::string_view(line + 2).size(), sizeof line - 2);

  const cmdline::TokenList tokens = cmdline::split_command_line(line + 2);
  if (tokens.count == 0) return report_failure("Cannot find Python executable %s\n", line + 2);
  char* const token = tokens.tokens[0];
  locate::Unresolved why = locate::Unresolved::NoPath;
  const HeapArray<char> interpreter = locate::resolve_interpreter(token, script, &why);
  if (!interpreter) {
    return report_failure(why == locate::Unresolved::TooLong ? "Interpreter path too long %s\n"
                                                             : "Cannot find Python executable %s\n",
                          token);
  }

  // A runtime may start us with no arguments at all, not even our own name.
  const int passed = std::max(argc, 1);
  ChildArguments child(static_cast<std::size_t>(tokens.count) + static_cast<std::size_t>(passed));
  const bool built = fill_child_arguments(child, interpreter.get(), tokens, script, passed, argv);
  const platform::SpawnResult result =
      built ? platform::spawn_and_wait(interpreter.get(), child.vector())
            : platform::SpawnResult{false, 0};
  if (!result.started) return report_failure("Cound not exec %s", interpreter.get());
  return result.status;
}

}  // namespace launcher
