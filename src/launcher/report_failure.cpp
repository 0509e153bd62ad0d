#include "launcher/launch.h"
#include "platform/platform.h"

namespace launcher {

int report_failure(const char* format, const char* arg) noexcept {
  platform::print_error(format, arg);
  platform::failure_reported();
  return failure_status;
}

}  // namespace launcher
