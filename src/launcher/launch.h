// The launch sequence: from the launcher's own path and arguments to the
// interpreter's exit status.
#pragma once

namespace launcher {

// Status the launcher ends with when it cannot do its job.
inline constexpr int failure_status = 2;

// Runs the companion script with the interpreter its first line names,
// passing on arguments 1 to argc - 1. Returns the interpreter's status, or
// failure_status after a message on standard error.
[[nodiscard]] int launch(int argc, const char* const* argv) noexcept;

// Writes format (one "%s") with arg to standard error; returns failure_status.
[[nodiscard]] int report_failure(const char* format, const char* arg) noexcept;

}  // namespace launcher
