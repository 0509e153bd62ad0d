// The process entry on POSIX: the C library's own start-up and main.
#include "platform/platform.h"

int main(int argc, char** argv) { return launcher_main(argc, argv); }
