/*
 * An independent MTP level 2/3 stack (libss7) on one end of a frame socket,
 * for the link tests. libss7 runs on an internal socket pair; this program
 * relays between it and the descriptor it is given: it strips the two check
 * octets libss7 writes towards us and appends two towards libss7, and paces
 * libss7's writes to one unit per millisecond as a 64 kbit/s link would.
 * Towards libss7 it also fills each quiet millisecond with the far end's
 * last status unit, or a FISU with its current sequence numbers, as an HDLC
 * controller in SS7 mode fills the line between units.
 *
 * Usage: libss7_peer FD PC ADJPC SLC [DELAY]
 * DELAY (ms) holds back each unit from the far end before libss7 sees it,
 * as a long line would.
 * Commands on stdin, one per line:
 *   drop_rx_msu N    lose the next N MSUs coming from the far end
 *   drop_tx_msu N    lose the next N MSUs libss7 sends
 *   mute MS          lose everything libss7 sends for MS milliseconds
 *   grs              send a circuit group reset (an ISUP MSU) to ADJPC
 *   quit
 * Events on stdout, one JSON object a line.
 */
#include <errno.h>
#include <fcntl.h>
#include <libss7.h>
#include <poll.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include "peer_frames.h"

static struct ss7 *ss7;
static int inner_end, libss7_end;
static unsigned int adjpc;
static int drop_rx_msu, drop_tx_msu;
static long long mute_until;
static int last_status_rx = -1, last_status_tx = -1;
static unsigned char fill[6];
static int fill_len;
static int heard;

static long long now_ms(void);

/* Units from the far end on their way to libss7. */
struct held {
    long long due;
    int len;
    unsigned char u[300];
};
static struct held line_queue[1024];
static unsigned queue_head, queue_count;
static int delay_ms;

static void to_libss7(const unsigned char *u, int len) {
    unsigned char buf[300 + FCS_OCTETS];
    memcpy(buf, u, (size_t)len);
    send(inner_end, buf, (size_t)append_fcs(buf, len), 0);
    ss7_read(ss7, libss7_end);
}

static void deliver_due(void) {
    while (queue_count > 0 && line_queue[queue_head].due <= now_ms()) {
        to_libss7(line_queue[queue_head].u, line_queue[queue_head].len);
        queue_head = (queue_head + 1) % 1024;
        --queue_count;
    }
}

static long long now_ms(void) {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (long long)ts.tv_sec * 1000 + ts.tv_nsec / 1000000;
}

static void emit(const char *fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    vprintf(fmt, ap);
    va_end(ap);
    putchar('\n');
    fflush(stdout);
}

static void on_text(struct ss7 *s, char *message) {
    (void)s;
    char clean[512];
    size_t n = 0;
    for (const char *p = message; *p && n + 2 < sizeof clean; ++p) {
        if (*p == '\n' || *p == '\r') continue;
        if (*p == '"' || *p == '\\') clean[n++] = '\\';
        clean[n++] = *p < 0x20 ? ' ' : *p;
    }
    clean[n] = 0;
    emit("{\"log\":\"%s\"}", clean);
}

/* One unit as seen on the line (without check octets). */
static void report(const char *dir, const unsigned char *u, int len, int *last_status) {
    if (len < 3) {
        emit("{\"dir\":\"%s\",\"short\":%d}", dir, len);
        return;
    }
    int li = u[2] & 0x3F;
    if (li == 1 || li == 2) {
        /* Repeated status units are reported once per change. */
        if (len > 3 && u[3] != *last_status) {
            *last_status = u[3];
            emit("{\"dir\":\"%s\",\"lssu\":%d}", dir, u[3]);
        }
        return;
    }
    *last_status = -1;
    if (li == 0) return;
    char hex[3 * 300] = "";
    int n = 0;
    for (int i = 3; i < len && i < 280; ++i) n += sprintf(hex + n, "%02X", u[i]);
    emit("{\"dir\":\"%s\",\"bsn\":%d,\"bib\":%d,\"fsn\":%d,\"fib\":%d,\"li\":%d,\"msu\":\"%s\"}", dir, u[0] & 0x7F,
         u[0] >> 7, u[1] & 0x7F, u[1] >> 7, li, hex);
}

static void command(char *line) {
    int n = 0;
    if (sscanf(line, "drop_rx_msu %d", &n) == 1) {
        drop_rx_msu = n;
    } else if (sscanf(line, "drop_tx_msu %d", &n) == 1) {
        drop_tx_msu = n;
    } else if (sscanf(line, "mute %d", &n) == 1) {
        mute_until = now_ms() + n;
    } else if (strncmp(line, "grs", 3) == 0) {
        struct isup_call *c = isup_new_call(ss7, 1, adjpc, 1);
        if (c) isup_grs(ss7, c, 2);
    } else if (strncmp(line, "quit", 4) == 0) {
        exit(0);
    }
    emit("{\"done\":\"%.*s\"}", (int)strcspn(line, "\n"), line);
}

static void events(void) {
    ss7_event *e;
    while ((e = ss7_check_event(ss7)) != NULL) emit("{\"event\":\"%s\",\"code\":%d}", ss7_event2str(e->e), e->e);
}

int main(int argc, char **argv) {
    if (argc != 5 && argc != 6) {
        fprintf(stderr, "usage: libss7_peer FD PC ADJPC SLC [DELAY]\n");
        return 2;
    }
    int line = atoi(argv[1]);
    unsigned int pc = (unsigned int)atoi(argv[2]);
    adjpc = (unsigned int)atoi(argv[3]);
    int slc = atoi(argv[4]);
    if (argc == 6) delay_ms = atoi(argv[5]);
    int inner[2];
    if (socketpair(AF_UNIX, SOCK_SEQPACKET, 0, inner) != 0) return 1;
    libss7_end = inner[0];
    inner_end = inner[1];
    fcntl(inner[1], F_SETFL, O_NONBLOCK);
    fcntl(line, F_SETFL, O_NONBLOCK);

    ss7_set_message(on_text);
    ss7_set_error(on_text);
    ss7 = ss7_new(SS7_ITU);
    if (!ss7) return 1;
    ss7_set_network_ind(ss7, SS7_NI_NAT);
    ss7_set_pc(ss7, pc);
    if (ss7_add_link(ss7, SS7_TRANSPORT_DAHDIDCHAN, inner[0], slc, adjpc) < 0) return 1;
    if (getenv("LIBSS7_PEER_DEBUG")) ss7_set_debug(ss7, SS7_DEBUG_MTP2 | SS7_DEBUG_MTP3);
    ss7_start(ss7);
    emit("{\"ready\":true}");

    unsigned char buf[600];
    char cmd[256];
    size_t cmd_len = 0;
    long long next_write = now_ms();
    for (;;) {
        long long t = now_ms();
        int timeout = (int)(next_write > t ? next_write - t : 0);
        if (queue_count > 0 && line_queue[queue_head].due - t < timeout)
            timeout = (int)(line_queue[queue_head].due > t ? line_queue[queue_head].due - t : 0);
        struct timeval *tv = ss7_schedule_next(ss7);
        if (tv) {
            long ms = ms_until(tv);
            if (ms < timeout) timeout = (int)ms;
        }
        struct pollfd fds[3] = {{line, POLLIN, 0}, {inner[1], POLLIN, 0}, {0, POLLIN, 0}};
        if (poll(fds, 3, timeout) < 0 && errno != EINTR) return 1;
        ss7_schedule_run(ss7);
        deliver_due();

        if (fds[0].revents & (POLLHUP | POLLERR)) return 0;
        while (fds[0].revents & POLLIN) {
            /* From the far end: add the check octets libss7 expects. */
            ssize_t n = recv(line, buf, sizeof buf - FCS_OCTETS, 0);
            if (n <= 0) {
                if (n == 0) return 0;
                break;
            }
            report("rx", buf, (int)n, &last_status_rx);
            if (n > 5 && (buf[2] & 0x3F) > 2 && drop_rx_msu > 0) {
                --drop_rx_msu;
                emit("{\"dropped\":\"rx\",\"fsn\":%d}", buf[1] & 0x7F);
                continue;
            }
            if (n >= 3 && (buf[2] & 0x3F) <= 2 && n <= 4) {
                memcpy(fill, buf, (size_t)n);
                fill_len = (int)n;
            } else if (n >= 3) {
                fill[0] = buf[0];
                fill[1] = buf[1];
                fill[2] = 0;
                fill_len = 3;
            }
            heard = 1;
            if (n > 298 || queue_count == 1024) continue;
            struct held *h = &line_queue[(queue_head + queue_count++) % 1024];
            h->due = now_ms() + delay_ms;
            h->len = (int)n;
            memcpy(h->u, buf, (size_t)n);

        }
        while (fds[1].revents & POLLIN) {
            /* From libss7: strip its check octets. */
            ssize_t n = recv(inner[1], buf, sizeof buf, 0);
            if (n <= 0) break;
            n -= FCS_OCTETS;
            if (n < 3) continue;
            if (now_ms() < mute_until) continue;
            if (n > 5 && (buf[2] & 0x3F) > 2 && drop_tx_msu > 0) {
                --drop_tx_msu;
                emit("{\"dropped\":\"tx\",\"fsn\":%d}", buf[1] & 0x7F);
                continue;
            }
            report("tx", buf, (int)n, &last_status_tx);
            send(line, buf, (size_t)n, 0);
        }
        if (fds[2].revents & (POLLIN | POLLHUP)) {
            ssize_t n = read(0, cmd + cmd_len, sizeof cmd - 1 - cmd_len);
            if (n <= 0) return 0;
            cmd_len += (size_t)n;
            cmd[cmd_len] = 0;
            char *nl;
            while ((nl = strchr(cmd, '\n')) != NULL) {
                *nl = 0;
                command(cmd);
                memmove(cmd, nl + 1, cmd_len - (size_t)(nl + 1 - cmd) + 1);
                cmd_len -= (size_t)(nl + 1 - cmd);
            }
        }
        if (now_ms() >= next_write) {
            if (!heard && fill_len > 0 && queue_count == 0) to_libss7(fill, fill_len);
            heard = 0;
            ss7_write(ss7, inner[0]);
            next_write += 1;
            if (next_write < now_ms()) next_write = now_ms() + 1;
        }
        events();
    }
}
