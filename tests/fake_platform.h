// A scripted platform for driving the launch logic in tests: files, search
// results and registry contents are set up per test; calls, spawned
// vectors and standard error are recorded.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/platform.h"

namespace fake {

struct RegistryKeyData {
  std::vector<std::optional<std::string>> subkeys;  // nullopt: read fails
  // name ("": the default value) -> raw data bytes, in the order written
  std::vector<std::pair<std::string, std::string>> values;
  bool count_fails = false;
};

struct State {
  platform::PathStyle style = platform::PathStyle::Windows;
  const platform::Program* program = nullptr;  // null: the console one for the style
  std::string module_path = "C:\\Tools\\run.exe";
  std::map<std::string, std::string> files;  // path -> content
  std::optional<std::string> any_file;       // content of every other path
  bool read_fails = false;
  std::optional<std::string> search_result;           // full path found on PATH
  std::vector<std::string> more_on_path;              // found in the places after it
  std::map<std::string, std::string> reparse_points;  // path -> reparse data
  // access rights (`user` for the current user's hive) -> lower-cased key
  // path -> key
  std::map<std::uint32_t, std::map<std::string, RegistryKeyData>> registry;
  platform::SpawnResult spawn_result{true, 0};
  int allocations_left = -1;  // negative: unlimited

  // What happened.
  std::vector<std::string> calls;
  std::string spawned_path;
  std::vector<std::string> spawned_argv;
  std::string stderr_text;
  int failures_reported = 0;
  int open_keys = 0;
  int open_files = 0;
};

// The one state the fake platform reads and writes; reset per test.
State& state();
void reset();

inline constexpr std::uint32_t view64 = 0x20119;
inline constexpr std::uint32_t view32 = 0x20219;
inline constexpr std::uint32_t user = 0x20019;  // the current user's hive

// Adds a version subkey and, when install_dir is given, its InstallPath
// key whose default value is install_dir (data as given, no terminator
// added), and the programs in it.
void add_version(std::uint32_t view, const std::string& version,
                 const std::optional<std::string>& install_dir);

}  // namespace fake
