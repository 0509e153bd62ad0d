// The smallest stand-in interpreter, on KERNEL32 alone, for architectures
// without a MinGW runtime (ARM64): writes the command line it received to
// the file named by STUB_OUT and ends with the status in STUB_STATUS.
#include <windows.h>

extern "C" __attribute__((noreturn)) void stub_start() {
  char value[MAX_PATH];
  if (GetEnvironmentVariableA("STUB_OUT", value, MAX_PATH) > 0) {
    HANDLE out = CreateFileA(value, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    const char* line = GetCommandLineA();
    DWORD length = 0;
    while (line[length] != '\0') ++length;
    DWORD written = 0;
    WriteFile(out, line, length, &written, nullptr);
    CloseHandle(out);
  }
  UINT status = 0;
  if (GetEnvironmentVariableA("STUB_STATUS", value, MAX_PATH) > 0) {
    for (const char* p = value; *p >= '0' && *p <= '9'; ++p) status = status * 10 + UINT(*p - '0');
  }
  ExitProcess(status);
}
