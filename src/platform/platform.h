// The operations the launcher needs from the operating system and C runtime.
// Everything above this directory is portable and talks to the system only
// through these declarations; each platform (and the tests' fake) provides
// them in one source file of its own.
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform {

// Text into a caller's buffer. Every operation here and in path.h that
// writes text into a buffer of `capacity` bytes answers as snprintf does:
// it returns the length of the whole text, terminator not counted, and the
// text is there, terminated, exactly when fits(length, capacity). When it
// does not fit, the length is at least the capacity (the whole text's
// length wherever the operation can know it), and the buffer is still
// terminated, holding as much of the text as the operation could give. An
// operation that can find nothing or fail answers 0 for that; the texts it
// finds are never empty.
[[nodiscard]] constexpr bool fits(std::size_t length, std::size_t capacity) noexcept {
  return length < capacity;
}

// How paths are spelled: Windows has drives and '\', POSIX has '/' only.
enum class PathStyle : std::uint8_t { Windows, Posix };

[[nodiscard]] PathStyle path_style() noexcept;

// What sets one launcher program apart from another: the console launcher
// and the windowless one link different definitions of program(),
// print_error(), failure_reported() and program_started().
struct Program {
  const char* script_suffix;   // replaces the launcher's extension ("-script.py")
  const char* default_line;    // for a script without "#!" ("#!python.exe")
  const char* python;          // what the search stages look for ("python.exe")
  const char* registry_value;  // an install's full program path ("ExecutablePath")
};
inline constexpr std::size_t longest_script_suffix = 16;

[[nodiscard]] const Program& program() noexcept;

// Called once at the process entry, before the launch.
void program_started() noexcept;

// Zero-filled heap memory; nullptr when none can be had.
[[nodiscard]] void* allocate_zeroed(std::size_t size) noexcept;
void release(void* block) noexcept;

// The launcher's own file path (the rule above; 0 when it cannot be had).
[[nodiscard]] std::size_t module_path(char* buf, std::size_t capacity) noexcept;

// Read-only file access: a descriptor or -1; bytes read or -1.
[[nodiscard]] int open_file(const char* path) noexcept;
[[nodiscard]] int read_file(int fd, char* buf, unsigned count) noexcept;
void close_file(int fd) noexcept;

// The launcher's own file, read for what may be appended to it: opened as
// bytes (no text mode); its size, negative when unknown or 2 GiB or more;
// exactly `count` bytes read at `offset` (true), or nothing usable.
[[nodiscard]] int open_binary_file(const char* path) noexcept;
[[nodiscard]] std::int32_t file_size(int fd) noexcept;
[[nodiscard]] bool read_file_at(int fd, std::uint32_t offset, char* buf, unsigned count) noexcept;

// The interpreter line's `length` bytes in a buffer of `capacity`, made
// UTF-8 in place: as they are when they are UTF-8, else read in the
// system's legacy code page, as a script of an older editor was written.
// Answers the new length by the rule above.
std::size_t line_as_utf8(char* line, std::size_t length, std::size_t capacity) noexcept;

// True when a file (not a directory) is at `path`.
[[nodiscard]] bool file_exists(const char* path) noexcept;

// Looks for `name` along the executable search path, in its places from
// the one numbered *place on (0 is the first), and answers the full path
// found by the rule above (0: not found). When found, *place is the number
// of the place after the one it was in.
[[nodiscard]] std::size_t search_executable(const char* name, char* buf, std::size_t capacity,
                                            std::size_t* place) noexcept;

// `path` made plain without looking at the file system, as the system
// itself does for a full path: "." and ".." resolved (never above the
// root), separators the platform's. Answers by the rule above (0: failed).
[[nodiscard]] std::size_t full_path(const char* path, char* buf, std::size_t capacity) noexcept;

// The reparse data of the file at `path` (tag, length, reserved, data),
// as the file system returns it, when the file is a reparse point: its
// size, at most capacity. 0 for any other file or when it cannot be read.
[[nodiscard]] std::size_t read_reparse_point(const char* path, unsigned char* buf,
                                             std::size_t capacity) noexcept;

// Read-only registry access. `access` holds the access rights, view flag
// included. Every call answers success as true.
enum class Hive : std::uint8_t { LocalMachine, CurrentUser };
using RegistryKey = std::uintptr_t;
[[nodiscard]] bool registry_open(Hive hive, const char* path, std::uint32_t access,
                                 RegistryKey* key) noexcept;
[[nodiscard]] bool registry_subkey_count(RegistryKey key, std::uint32_t* count) noexcept;
// The name of the subkey at `index`, by the rule above (0: none read).
[[nodiscard]] std::size_t registry_subkey_name(RegistryKey key, std::uint32_t index, char* name,
                                               std::size_t capacity) noexcept;
// Reads the key's value of that name ("": the default, unnamed one).
// False when the key has none; otherwise *length answers for the value's
// text (its data up to the first NUL) by the rule above. A value may be
// empty.
[[nodiscard]] bool registry_value(RegistryKey key, const char* name, char* data,
                                  std::size_t capacity, std::size_t* length) noexcept;
void registry_close(RegistryKey key) noexcept;

// Starts the program at `path` with the already quoted argument vector
// (joined with single blanks, as the child's runtime would receive it),
// waits for it and reports how it ended.
struct SpawnResult {
  bool started;
  int status;  // the child's exit status, whatever its value
};
[[nodiscard]] SpawnResult spawn_and_wait(const char* path, const char* const* quoted_argv) noexcept;

// Writes `format` to standard error with its one "%s" replaced by `arg`.
// The windowless program keeps the text for failure_reported() in a block
// whose address waits in its own thread's message queue (no writable data
// in the file): it relies on nothing taking messages from that queue after
// program_started() until the failure is shown.
void print_error(const char* format, const char* arg) noexcept;

// Called once when the launch fails, after its failure message.
void failure_reported() noexcept;

}  // namespace platform

// The program's own entry, called by the platform's start-up (win32/start.cpp, posix/start.cpp)
// with the arguments the C runtime split; its result is the exit status.
int launcher_main(int argc, char** argv);
