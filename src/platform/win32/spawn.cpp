// Starting the interpreter on Windows. CreateProcessW rather than the
// runtime's spawn call, which answers -1 both for a program that did not
// start and for one that ended with 0xFFFFFFFF, and takes narrow text.
#include <windows.h>

#include <string_view>

#include "platform/heap.h"
#include "platform/platform.h"
#include "platform/win32/wide.h"

namespace platform {
namespace {

// Ctrl+C and Ctrl+Break reach every process on the console; they are the
// script's to handle, and we wait for its status. A handler routine (not a
// NULL handler) keeps the child's own Ctrl+C handling intact.
BOOL WINAPI outlast_console_break(DWORD event) {
  return event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT ? TRUE : FALSE;
}

// A job that ends the interpreter when our last handle to it closes, that
// is when we end, however that happens. The script's own children break
// away silently and live on. Null when jobs are not available here.
HANDLE create_kill_on_close_job() {
  HANDLE job = CreateJobObjectW(nullptr, nullptr);
  if (job == nullptr) return nullptr;
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
  limits.BasicLimitInformation.LimitFlags =
      JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE | JOB_OBJECT_LIMIT_SILENT_BREAKAWAY_OK;
  if (!SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
    CloseHandle(job);
    return nullptr;
  }
  return job;
}

// The quoted arguments joined with single blanks, as the runtime's spawn
// call joins them, made wide: writable, as CreateProcessW requires. No
// byte gives more than a unit. Null when out of memory.
HeapArray<wchar_t> wide_command_line(const char* const* quoted) noexcept {
  std::size_t size = 1;
  for (const char* const* arg = quoted; *arg != nullptr; ++arg)
    size += std::string_view(*arg).size() + 1;
  HeapArray<wchar_t> line = allocate_array<wchar_t>(size);
  std::size_t used = 0;
  for (const char* const* arg = quoted; line && *arg != nullptr; ++arg) {
    if (arg != quoted) line[used++] = L' ';
    used += utf16_from_wtf8(*arg, line.get() + used, size - used);
  }
  return line;
}

}  // namespace

// Out of line: inlined into the one function that link-time optimisation
// makes of the launch, it costs the Windows programs more bytes.
[[gnu::noinline]] SpawnResult spawn_and_wait(const char* path,
                                             const char* const* quoted_argv) noexcept {
  const HeapArray<wchar_t> command_line = wide_command_line(quoted_argv);
  wchar_t wide_path[wide_path_size];
  if (!command_line || !widen(path, wide_path, wide_path_size)) return {false, 0};
  SetConsoleCtrlHandler(outlast_console_break, TRUE);
  HANDLE job = create_kill_on_close_job();

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION child;  // filled in by a start that succeeds
  const BOOL started = CreateProcessW(wide_path, command_line.get(), nullptr, nullptr, TRUE,
                                      CREATE_SUSPENDED, nullptr, nullptr, &startup, &child);
  if (!started) {
    if (job != nullptr) CloseHandle(job);
    return {false, 0};
  }
  // An enclosing job may forbid nesting: then go on without ours.
  if (job != nullptr && !AssignProcessToJobObject(job, child.hProcess)) {
    CloseHandle(job);
    job = nullptr;
  }
  ResumeThread(child.hThread);
  CloseHandle(child.hThread);
  WaitForSingleObject(child.hProcess, INFINITE);
  DWORD status = 0;
  GetExitCodeProcess(child.hProcess, &status);
  CloseHandle(child.hProcess);
  if (job != nullptr) CloseHandle(job);
  return {true, static_cast<int>(status)};
}

}  // namespace platform
