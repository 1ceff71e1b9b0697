/* Preloaded into a daemon under test: its wall clock (gettimeofday, time and
 * clock_gettime's real-time clocks) runs ahead or behind by the seconds the test
 * keeps in the file TAMBORIL_TEST_WALL_OFFSET_FILE names, rewritten in place while
 * the daemon runs. Every other clock, the monotonic ones above all, is left alone.
 * Built for the tests only, never linked in. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <time.h>
#include <unistd.h>

#include "tests/slots/wall_clock_shim.h"

typedef int (*gettimeofday_fn)(struct timeval*, void*);
typedef int (*clock_gettime_fn)(clockid_t, struct timespec*);

static gettimeofday_fn real_gettimeofday;
static clock_gettime_fn real_clock_gettime;
static volatile struct wall_clock_shift* shift;
static volatile int ready;

/* Idempotent: two threads racing here at worst map the file twice. */
static void init(void) {
    if (ready) return;
    real_gettimeofday = (gettimeofday_fn)dlsym(RTLD_NEXT, "gettimeofday");
    real_clock_gettime = (clock_gettime_fn)dlsym(RTLD_NEXT, "clock_gettime");
    const char* path = getenv(WALL_CLOCK_SHIFT_ENV);
    int fd = path != NULL ? open(path, O_RDWR | O_CLOEXEC) : -1;
    struct stat st;
    /* Mapped past the file's end, a read would fault: a short file shifts nothing. */
    if (fd >= 0 && fstat(fd, &st) == 0 && st.st_size >= (off_t)sizeof(struct wall_clock_shift)) {
        void* p = mmap(NULL, sizeof(struct wall_clock_shift), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        if (p != MAP_FAILED) shift = (volatile struct wall_clock_shift*)p;
    }
    if (fd >= 0) close(fd);
    ready = 1;
}

static int64_t offset_seconds(void) {
    if (shift == NULL) return 0;
    /* A 32-bit target loads the value in two halves: load until two loads agree. */
    int64_t a = shift->seconds, b;
    while ((b = shift->seconds) != a) a = b;
    return a;
}

/* Counts every reading, of whatever clock, so a test sees the daemon's clock calls land here. */
static void count_read(void) {
    if (shift != NULL) __atomic_fetch_add(&shift->reads, 1, __ATOMIC_RELAXED);
}

static int shifted_clock_gettime(clockid_t id, struct timespec* ts) {
    init();
    count_read();
    int rc = real_clock_gettime(id, ts);
    if (rc == 0 && (id == CLOCK_REALTIME || id == CLOCK_REALTIME_COARSE))
        ts->tv_sec += (time_t)offset_seconds();
    return rc;
}

int gettimeofday(struct timeval* tv, void* tz) {
    init();
    count_read();
    int rc = real_gettimeofday(tv, tz);
    if (rc == 0) tv->tv_sec += (time_t)offset_seconds();
    return rc;
}

int clock_gettime(clockid_t id, struct timespec* ts) {
    return shifted_clock_gettime(id, ts);
}

time_t time(time_t* out) {
    struct timespec ts;
    time_t now = shifted_clock_gettime(CLOCK_REALTIME, &ts) == 0 ? ts.tv_sec : (time_t)-1;
    if (out != NULL) *out = now;
    return now;
}
