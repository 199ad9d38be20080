/* Preloaded into the daemon by the end-to-end tests: records every request to set the
 * realtime clock (one line "seconds.nanoseconds" per request in $KELVRA_CLOCK_LOG) and lets
 * none through, answering as if the clock had been set. */
#define _GNU_SOURCE
#include <stdio.h>
#include <stdlib.h>
#include <sys/time.h>
#include <time.h>

static void record(long long sec, long nsec) {
    const char* path = getenv("KELVRA_CLOCK_LOG");
    if (!path) return;
    FILE* f = fopen(path, "a");
    if (!f) return;
    fprintf(f, "%lld.%09ld\n", sec, nsec);
    fclose(f);
}

int clock_settime(clockid_t id, const struct timespec* ts) {
    if (id == CLOCK_REALTIME) record((long long)ts->tv_sec, ts->tv_nsec);
    return 0;
}

int settimeofday(const struct timeval* tv, const struct timezone* tz) {
    (void)tz;
    if (tv) record((long long)tv->tv_sec, (long)tv->tv_usec * 1000L);
    return 0;
}
