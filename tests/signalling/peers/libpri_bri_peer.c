/* Test peer: N basic-rate ISDN terminals (libpri, CPE, point to multipoint) on one
 * simulated S bus. The bus is one SOCK_SEQPACKET descriptor (one datagram = one
 * frame, without FCS) towards the network side under test: every frame from the
 * network reaches every terminal, and every terminal's frames go to the network.
 * Events are printed as JSON lines on stdout.
 *
 *   libpri_bri_peer --fd N [--terminals N] [--call I] [--then J] [--t203 MS] [--seconds S] [--debug]
 *
 * --call I: terminal I places a call (SETUP to "123" on B1) once its data link is up.
 * --then J: terminal J places its own call once terminal I's call is proceeding.
 * --t203 MS: the terminals' idle timer, so that the network's own idle poll can be told apart.
 * The program ends when the bus closes or after S seconds (default 60).
 */
#include <errno.h>
#include <libpri.h>
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include "peer_frames.h"

#define MAX_TERMINALS 8

struct terminal {
    struct pri *pri;
    int index;
    const unsigned char *rx; /* the frame being delivered, or NULL */
    int rx_len;
    int called;
    int up;
    int wants_call;
};

static struct terminal terminals[MAX_TERMINALS];
static int count = 1;
static int bus = -1;
static int caller = -1;
static int second_caller = -1;

/* libpri reads frames with their FCS and drops the last two octets. */
static int io_read(struct pri *pri, void *buf, int buflen) {
    struct terminal *t = pri_get_userdata(pri);
    if (t->rx == NULL || t->rx_len + FCS_OCTETS > buflen) {
        errno = EAGAIN;
        return -1;
    }
    memcpy(buf, t->rx, (size_t)t->rx_len);
    t->rx = NULL;
    return append_fcs(buf, t->rx_len);
}

/* libpri writes two octets of room for the FCS; anything but the full length is a short write. */
static int io_write(struct pri *pri, void *buf, int buflen) {
    (void)pri;
    return send_without_fcs(bus, buf, buflen);
}

static void emit(int index, const char *event, int cref, int channel) {
    printf("{\"terminal\":%d,\"event\":\"%s\",\"cref\":%d,\"channel\":%d}\n", index, event, cref, channel);
    fflush(stdout);
}

static void place_call(struct terminal *t) {
    q931_call *call = pri_new_call(t->pri);
    struct pri_sr *sr = pri_sr_new();
    if (call == NULL || sr == NULL) {
        emit(t->index, "call_failed", -1, -1);
        return;
    }
    pri_sr_set_channel(sr, 1, 1, 0);
    pri_sr_set_bearer(sr, PRI_TRANS_CAP_SPEECH, PRI_LAYER_1_ALAW);
    pri_sr_set_called(sr, "123", PRI_UNKNOWN, 1);
    if (pri_setup(t->pri, call, sr) != 0)
        emit(t->index, "call_failed", -1, -1);
    else
        emit(t->index, "call_placed", -1, 1);
    pri_sr_free(sr);
    t->called = 1;
}

static void handle(struct terminal *t, pri_event *e) {
    if (e == NULL) return;
    switch (e->e) {
    case PRI_EVENT_DCHAN_UP:
        emit(t->index, "dchan_up", -1, -1);
        t->up = 1;
        if ((t->index == caller || t->wants_call) && !t->called) place_call(t);
        break;
    case PRI_EVENT_DCHAN_DOWN:
        emit(t->index, "dchan_down", -1, -1);
        break;
    case PRI_EVENT_RING:
        emit(t->index, "ring", e->ring.cref, e->ring.channel);
        break;
    case PRI_EVENT_PROCEEDING:
        emit(t->index, "proceeding", e->proceeding.cref, e->proceeding.channel);
        if (t->index == caller && second_caller >= 0 && second_caller < count) {
            struct terminal *next = &terminals[second_caller];
            next->wants_call = 1;
            if (next->up && !next->called) place_call(next);
        }
        break;
    case PRI_EVENT_ANSWER:
        emit(t->index, "answer", e->answer.cref, e->answer.channel);
        break;
    case PRI_EVENT_HANGUP:
        emit(t->index, "hangup", e->hangup.cref, e->hangup.channel);
        break;
    default:
        emit(t->index, pri_event2str(e->e), -1, -1);
        break;
    }
}

static long long now_ms(void) {
    struct timeval tv;
    gettimeofday(&tv, NULL);
    return (long long)tv.tv_sec * 1000 + tv.tv_usec / 1000;
}

/* Milliseconds to the earliest libpri timer (at most limit). */
static int next_wait(int limit) {
    int wait = limit;
    for (int i = 0; i < count; ++i) {
        struct timeval *tv = pri_schedule_next(terminals[i].pri);
        if (tv == NULL) continue;
        long due = ms_until(tv);
        if (due < wait) wait = (int)due;
    }
    return wait;
}

static void run_due_timers(void) {
    for (int i = 0; i < count; ++i) {
        struct timeval *tv = pri_schedule_next(terminals[i].pri);
        if (tv != NULL && is_due(tv)) handle(&terminals[i], pri_schedule_run(terminals[i].pri));
    }
}

static void usage(void) {
    fprintf(stderr,
            "usage: libpri_bri_peer --fd N [--terminals N] [--call I] [--then J] [--t203 MS] [--seconds S] "
            "[--debug]\n");
    exit(2);
}

static void quiet(struct pri *pri, char *text) {
    (void)pri;
    (void)text;
}

static void to_stderr(struct pri *pri, char *text) {
    (void)pri;
    fputs(text, stderr);
}

int main(int argc, char **argv) {
    int seconds = 60;
    int debug = 0;
    int t203 = 0;
    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "--fd") == 0 && i + 1 < argc)
            bus = atoi(argv[++i]);
        else if (strcmp(argv[i], "--terminals") == 0 && i + 1 < argc)
            count = atoi(argv[++i]);
        else if (strcmp(argv[i], "--call") == 0 && i + 1 < argc)
            caller = atoi(argv[++i]);
        else if (strcmp(argv[i], "--then") == 0 && i + 1 < argc)
            second_caller = atoi(argv[++i]);
        else if (strcmp(argv[i], "--t203") == 0 && i + 1 < argc)
            t203 = atoi(argv[++i]);
        else if (strcmp(argv[i], "--seconds") == 0 && i + 1 < argc)
            seconds = atoi(argv[++i]);
        else if (strcmp(argv[i], "--debug") == 0)
            debug = 1;
        else
            usage();
    }
    if (bus < 0 || count < 1 || count > MAX_TERMINALS) usage();

    pri_set_message(debug ? to_stderr : quiet);
    pri_set_error(debug ? to_stderr : quiet);
    for (int i = 0; i < count; ++i) {
        struct terminal *t = &terminals[i];
        t->index = i;
        t->pri = pri_new_bri_cb(bus, 0, PRI_CPE, PRI_SWITCH_EUROISDN_E1, io_read, io_write, t);
        if (t->pri == NULL) {
            fprintf(stderr, "pri_new_bri_cb failed\n");
            return 1;
        }
        if (t203 > 0) pri_set_timer(t->pri, PRI_TIMER_T203, t203);
        if (debug) pri_set_debug(t->pri, PRI_DEBUG_Q921_RAW | PRI_DEBUG_Q921_STATE | PRI_DEBUG_Q931_DUMP);
    }
    emit(-1, "started", -1, -1);

    const long long end = now_ms() + (long long)seconds * 1000;
    unsigned char frame[1024];
    for (;;) {
        long long left = end - now_ms();
        if (left <= 0) break;
        struct pollfd p = {bus, POLLIN, 0};
        int ready = poll(&p, 1, next_wait((int)left));
        if (ready < 0 && errno != EINTR) break;
        if (ready > 0) {
            if ((p.revents & POLLIN) == 0) break; /* hang-up */
            ssize_t n = recv(bus, frame, sizeof frame - FCS_OCTETS, 0);
            if (n == 0) break;
            if (n < 0) {
                if (errno == EAGAIN || errno == EINTR) continue;
                break;
            }
            /* The bus: every terminal hears the frame. */
            for (int i = 0; i < count; ++i) {
                terminals[i].rx = frame;
                terminals[i].rx_len = (int)n;
                handle(&terminals[i], pri_check_event(terminals[i].pri));
            }
        }
        run_due_timers();
    }
    emit(-1, "stopped", -1, -1);
    return 0;
}
