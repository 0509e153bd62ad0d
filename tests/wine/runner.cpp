// Starts one command line exactly as given and prints the full 32-bit exit
// code, which Wine's own exit status would cut to 8 bits.
//   runner.exe FILE      FILE holds the command line in UTF-16LE, started
//                        with CreateProcessW unit for unit (lone surrogates
//                        too)
//   RUNNER_READY=F       once file F exists, act on the started process:
//   RUNNER_ACTION=kill   TerminateProcess it
//   RUNNER_ACTION=break  send Ctrl+Break to its process group
//   RUNNER_ACTION=ctrlc  send Ctrl+C to the whole console
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

BOOL WINAPI keep_running(DWORD) { return TRUE; }

bool wait_for_file(const char* path) {
  for (int i = 0; i < 1000; ++i) {
    if (GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES) return true;
    Sleep(20);
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) return 120;
  FILE* f = std::fopen(argv[1], "rb");
  if (f == nullptr) return 121;
  static wchar_t line[32768];
  const std::size_t n = std::fread(line, sizeof(wchar_t), 32767, f);
  std::fclose(f);
  line[n] = L'\0';

  const char* ready = std::getenv("RUNNER_READY");
  const char* action = std::getenv("RUNNER_ACTION");
  const bool own_group = action != nullptr && std::strcmp(action, "break") == 0;
  // Console events need a console, which Wine gives a program only on request
  // when its output is not a terminal.
  if (action != nullptr && std::strcmp(action, "kill") != 0 && GetConsoleWindow() == nullptr) {
    FreeConsole();
    std::printf("runner: console %d\n", AllocConsole());
  }
  SetConsoleCtrlHandler(keep_running, TRUE);
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(nullptr, line, nullptr, nullptr, TRUE,
                      own_group ? CREATE_NEW_PROCESS_GROUP : 0, nullptr, nullptr, &si, &pi)) {
    std::printf("runner: CreateProcess failed %lu\n", GetLastError());
    return 122;
  }
  if (ready != nullptr && action != nullptr) {
    if (!wait_for_file(ready)) std::printf("runner: never ready\n");
    if (std::strcmp(action, "kill") == 0) TerminateProcess(pi.hProcess, 77);
    if (own_group)
      std::printf("runner: event %d\n", GenerateConsoleCtrlEvent(CTRL_BREAK_EVENT, pi.dwProcessId));
    if (std::strcmp(action, "ctrlc") == 0)
      std::printf("runner: event %d\n", GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0));
  }
  WaitForSingleObject(pi.hProcess, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(pi.hProcess, &code);
  std::printf("status=0x%08lx\n", code);
  return 0;
}
