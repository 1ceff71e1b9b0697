/*
 * An independent Q.921/Q.931 partner for the link-layer tests: libpri on one
 * end of a SOCK_SEQPACKET socket (one datagram = one frame, no check bits).
 *
 *   libpri_pri_peer FD network|cpe|bri-network [debug]
 *
 * Reports events as JSON lines on stdout; reads commands, one a line, on stdin:
 *   call N     place N calls at once (cpe): N SETUPs back to back
 *   quit
 * An incoming call (RING) is answered with CALL PROCEEDING and CONNECT at once.
 */
#include <errno.h>
#include <libpri.h>
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

#include "peer_frames.h"

static int debug_on;

/* libpri reads and writes two check octets behind every frame; the socket carries none. */
static int io_read(struct pri *pri, void *buf, int buflen) {
    ssize_t n = recv(pri_fd(pri), buf, buflen > FCS_OCTETS ? buflen - FCS_OCTETS : 0, MSG_DONTWAIT);
    if (n <= 0) return -1;
    return append_fcs(buf, (int)n);
}

static int io_write(struct pri *pri, void *buf, int buflen) {
    return send_without_fcs(pri_fd(pri), buf, buflen);
}

static void on_message(struct pri *pri, char *text) {
    (void)pri;
    if (debug_on) fprintf(stderr, "libpri: %s", text);
}

static void emit(const char *event, int value) {
    printf("{\"event\":\"%s\",\"value\":%d}\n", event, value);
    fflush(stdout);
}

static void place_call(struct pri *pri, int n) {
    q931_call *call = pri_new_call(pri);
    struct pri_sr *sr = pri_sr_new();
    char number[16];
    if (call == NULL || sr == NULL) {
        emit("call_failed", n);
        return;
    }
    snprintf(number, sizeof number, "10%d", n);
    pri_sr_set_channel(sr, n + 1, 1, 0);
    pri_sr_set_bearer(sr, PRI_TRANS_CAP_SPEECH, PRI_LAYER_1_ALAW);
    pri_sr_set_called(sr, number, PRI_UNKNOWN, 1);
    if (pri_setup(pri, call, sr) != 0) emit("call_failed", n);
    pri_sr_free(sr);
}

static void on_event(struct pri *pri, pri_event *e) {
    switch (e->e) {
    case PRI_EVENT_DCHAN_UP: emit("up", 0); break;
    case PRI_EVENT_DCHAN_DOWN: emit("down", 0); break;
    case PRI_EVENT_RING:
        emit("ring", e->ring.cref);
        pri_proceeding(pri, e->ring.call, e->ring.channel, 0);
        pri_answer(pri, e->ring.call, e->ring.channel, 1);
        break;
    case PRI_EVENT_PROCEEDING: emit("proceeding", e->proceeding.cref); break;
    case PRI_EVENT_ANSWER: emit("answer", e->answer.cref); break;
    case PRI_EVENT_HANGUP: emit("hangup", e->hangup.cause); break;
    case PRI_EVENT_HANGUP_REQ:
        emit("hangup_req", e->hangup.cause);
        pri_hangup(pri, e->hangup.call, e->hangup.cause);
        break;
    default: emit("other", e->e); break;
    }
}

static int handle_command(struct pri *pri, char *line) {
    int n = 0;
    if (strncmp(line, "quit", 4) == 0) return 0;
    if (sscanf(line, "call %d", &n) == 1)
        for (int i = 0; i < n; ++i) place_call(pri, i);
    return 1;
}

int main(int argc, char **argv) {
    if (argc < 3) {
        fprintf(stderr, "usage: %s FD network|cpe|bri-network [debug]\n", argv[0]);
        return 2;
    }
    int fd = atoi(argv[1]);
    debug_on = argc > 3 && strcmp(argv[3], "debug") == 0;
    pri_set_message(on_message);
    pri_set_error(on_message);

    struct pri *pri;
    if (strcmp(argv[2], "network") == 0)
        pri = pri_new_cb(fd, PRI_NETWORK, PRI_SWITCH_EUROISDN_E1, io_read, io_write, NULL);
    else if (strcmp(argv[2], "cpe") == 0)
        pri = pri_new_cb(fd, PRI_CPE, PRI_SWITCH_EUROISDN_E1, io_read, io_write, NULL);
    else if (strcmp(argv[2], "bri-network") == 0)
        pri = pri_new_bri_cb(fd, 0, PRI_NETWORK, PRI_SWITCH_EUROISDN_E1, io_read, io_write, NULL);
    else
        pri = NULL;
    if (pri == NULL) {
        fprintf(stderr, "cannot start libpri in mode %s\n", argv[2]);
        return 2;
    }
    if (debug_on) pri_set_debug(pri, PRI_DEBUG_Q921_STATE | PRI_DEBUG_Q921_RAW | PRI_DEBUG_Q931_DUMP);
    emit("started", 0);

    char line[256];
    size_t used = 0;
    for (;;) {
        int timeout = -1;
        struct timeval *next = pri_schedule_next(pri);
        if (next != NULL) timeout = (int)ms_until(next);
        struct pollfd fds[2] = {{fd, POLLIN, 0}, {0, POLLIN, 0}};
        if (poll(fds, 2, timeout) < 0 && errno != EINTR) return 1;
        if (fds[0].revents & (POLLHUP | POLLERR)) return 0;
        if (fds[0].revents & POLLIN) {
            pri_event *e = pri_check_event(pri);
            if (e != NULL) on_event(pri, e);
        }
        if (fds[1].revents & (POLLIN | POLLHUP)) {
            ssize_t n = read(0, line + used, sizeof line - 1 - used);
            if (n <= 0) return 0;
            used += (size_t)n;
            line[used] = '\0';
            char *end;
            while ((end = strchr(line, '\n')) != NULL) {
                *end = '\0';
                if (!handle_command(pri, line)) return 0;
                used -= (size_t)(end + 1 - line);
                memmove(line, end + 1, used + 1);
            }
            if (used == sizeof line - 1) used = 0;
        }
        next = pri_schedule_next(pri);
        if (next != NULL && is_due(next)) {
            pri_event *e = pri_schedule_run(pri);
            if (e != NULL) on_event(pri, e);
        }
    }
}
