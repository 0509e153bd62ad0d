#include "launcher/launch.h"

#include <algorithm>
#include <string_view>

#include "cmdline/cmdline.h"
#include "locate/locate.h"
#include "platform/chars.h"
#include "platform/path.h"
#include "platform/platform.h"

namespace launcher {
namespace {

constexpr std::size_t path_buffer_size = 256;
constexpr std::size_t line_read_size = 256;
constexpr std::size_t script_buffer_size = path_buffer_size + platform::longest_script_suffix;

// The launcher's path with its extension replaced by the program's script
// suffix ("-script.py"). Only a dot in the file name starts an extension;
// without one the suffix goes after the whole path. Fails when the path or
// the result does not fit, leaving in `path` what can be shown in the
// message.
bool companion_script_path(char (&path)[script_buffer_size]) {
  const std::string_view script_suffix(platform::program().script_suffix);
  const std::size_t length = platform::module_path(path, path_buffer_size);
  if (length == 0 || !platform::fits(length, path_buffer_size)) return false;
  const std::string_view module(path, length);
  const std::size_t dot = module.rfind('.');
  const bool in_name = dot != std::string_view::npos && dot >= platform::file_name_start(module);
  const std::size_t end = in_name ? dot : length;
  put_text(path + end, script_suffix);
  return platform::fits(end + script_suffix.size(), path_buffer_size);
}

// The first line of the script, cut at its first NUL, CR or LF and at
// line_read_size bytes; a line without "#!" becomes the default line. A
// UTF-8 byte-order mark that an editor put first is not part of the line
// (it still counts in the bytes read).
void read_interpreter_line(int fd, char (&line)[line_read_size + 1]) {
  const int got = platform::read_file(fd, line, line_read_size);
  platform::close_file(fd);
  const auto read = static_cast<std::size_t>(std::max(got, 0));
  const bool marked = read >= 3 && line[0] == '\xEF' && line[1] == '\xBB' && line[2] == '\xBF';
  const std::size_t start = marked ? 3 : 0;
  // The line moves down over the mark, one byte at a time (the two overlap).
  std::size_t length = 0;
  for (std::size_t i = start; i < read && line[i] != '\0' && line[i] != '\n' && line[i] != '\r';)
    line[length++] = line[i++];
  line[length] = '\0';
  if (line[0] == '#' && line[1] == '!') return;
  const std::string_view default_line(platform::program().default_line);
  put_text(line, {default_line.data(), std::min(default_line.size(), line_read_size)});
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
  char script[script_buffer_size] = {};
  if (!companion_script_path(script)) return report_failure("Cannot open %s\n", script);
  const int fd = platform::open_file(script);
  if (fd < 0) return report_failure("Cannot open %s\n", script);
  char line[line_read_size + 1] = {};
  read_interpreter_line(fd, line);

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
