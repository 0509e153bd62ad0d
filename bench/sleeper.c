/* An interpreter that stays long enough for its launcher to be measured. */
#include <time.h>
int main(void) {
  const struct timespec delay = {0, 300 * 1000 * 1000};
  return nanosleep(&delay, 0);
}
