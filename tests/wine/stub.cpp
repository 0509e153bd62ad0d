// A stand-in interpreter for Windows. Driven by its environment:
//   STUB_OUT        file to write, in UTF-16LE: GetCommandLineW, then each
//                   wide argument the runtime split, each followed by a NUL
//                   unit, then "acp=N" (GetACP); wide, so that every unit
//                   the launcher passed is seen as it came
//   STUB_READY      file to create once that is written
//   STUB_TRAP       on Ctrl+C or Ctrl+Break, exit with this status
//   STUB_SLEEP_MS   sleep this long, then create STUB_WAKE
//   STUB_GRANDCHILD start a detached copy of itself that creates this file
//                   after a second, then go on
//   STUB_STATUS     exit with this status (C notation: 0xC0000005 works)
//   STUB_WOW64      file to write: "stub=N parent=N", IsWow64Process of the
//                   stub and of the process that started it (1: a 32-bit
//                   process on 64-bit Windows), '?' where it cannot tell
#include <windows.h>
// After windows.h, which it needs.
#include <tlhelp32.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>

extern "C" {
extern int _dowildcard;
int _dowildcard = -1;  // split exactly as the launcher's runtime does
}

namespace {

unsigned long trap_status = 0;

BOOL WINAPI on_break(DWORD) {
  ExitProcess(static_cast<UINT>(trap_status));
  return TRUE;
}

void touch(const char* path) {
  if (FILE* f = std::fopen(path, "wb")) std::fclose(f);
}

unsigned long number(const char* name, unsigned long fallback) {
  const char* text = std::getenv(name);
  return text != nullptr ? std::strtoul(text, nullptr, 0) : fallback;
}

void start_grandchild(const char* wake) {
  char self[MAX_PATH];
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  SetEnvironmentVariableA("STUB_OUT", nullptr);
  SetEnvironmentVariableA("STUB_READY", nullptr);
  SetEnvironmentVariableA("STUB_GRANDCHILD", nullptr);
  SetEnvironmentVariableA("STUB_STATUS", nullptr);
  SetEnvironmentVariableA("STUB_SLEEP_MS", "1500");
  SetEnvironmentVariableA("STUB_WAKE", wake);
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (CreateProcessA(self, nullptr, nullptr, nullptr, FALSE, DETACHED_PROCESS, nullptr, nullptr,
                     &si, &pi)) {
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
  }
}

char wow64_of(HANDLE process) {
  BOOL wow64 = FALSE;
  return IsWow64Process(process, &wow64) ? (wow64 ? '1' : '0') : '?';
}

char parent_wow64() {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return '?';
  PROCESSENTRY32 entry{};
  entry.dwSize = sizeof entry;
  DWORD parent = 0;
  for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
    if (entry.th32ProcessID == GetCurrentProcessId()) parent = entry.th32ParentProcessID;
  }
  CloseHandle(snapshot);
  HANDLE process =
      parent != 0 ? OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, parent) : nullptr;
  if (process == nullptr) return '?';
  const char answer = wow64_of(process);
  CloseHandle(process);
  return answer;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (const char* out = std::getenv("STUB_OUT")) {
    FILE* f = std::fopen(out, "wb");
    if (f == nullptr) return 101;
    const auto put = [f](const wchar_t* text) {
      std::fwrite(text, sizeof(wchar_t), std::wcslen(text) + 1, f);
    };
    put(GetCommandLineW());
    for (int i = 0; i < argc; ++i) put(argv[i]);
    wchar_t acp[16];
    std::swprintf(acp, 16, L"acp=%u", GetACP());
    std::fwrite(acp, sizeof(wchar_t), std::wcslen(acp), f);
    std::fclose(f);
  }
  if (const char* path = std::getenv("STUB_WOW64")) {
    if (FILE* f = std::fopen(path, "wb")) {
      std::fprintf(f, "stub=%c parent=%c", wow64_of(GetCurrentProcess()), parent_wow64());
      std::fclose(f);
    }
  }
  if (const char* wake = std::getenv("STUB_GRANDCHILD")) start_grandchild(wake);
  const bool trap = std::getenv("STUB_TRAP") != nullptr;
  if (trap) {
    trap_status = number("STUB_TRAP", 0);
    SetConsoleCtrlHandler(on_break, TRUE);
  }
  if (const char* ready = std::getenv("STUB_READY")) touch(ready);
  if (trap) Sleep(5000);
  if (const unsigned long ms = number("STUB_SLEEP_MS", 0); ms > 0) {
    Sleep(ms);
    if (const char* wake = std::getenv("STUB_WAKE")) touch(wake);
  }
  ExitProcess(static_cast<UINT>(number("STUB_STATUS", 0)));
}
