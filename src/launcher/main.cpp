#include "launcher/launch.h"
#include "platform/platform.h"

// Called by the platform's start-up with the arguments the C runtime split
// (wildcards expanded on Windows); argument 0 is our own name as typed.
int launcher_main(int argc, char** argv) {
  platform::program_started();
  return launcher::launch(argc, argv);
}
