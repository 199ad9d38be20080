/* Preloaded into the daemon in the end-to-end run: every clock setting "succeeds" and changes
   nothing, so a cycle can succeed without touching this machine's clock. */
#include <sys/time.h>
#include <time.h>

int clock_settime(clockid_t clock, const struct timespec* value) {
    (void)clock;
    (void)value;
    return 0;
}

int settimeofday(const struct timeval* value, const struct timezone* zone) {
    (void)value;
    (void)zone;
    return 0;
}
