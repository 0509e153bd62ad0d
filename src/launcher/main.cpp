#include "launcher/launch.h"
#include "platform/platform.h"

// The C runtime has already split the command line (wildcards expanded
// on Windows); argument 0 is the launcher's own name as typed.
int main(int argc, char** argv) {
  platform::program_started();
  return launcher::launch(argc, argv);
}
