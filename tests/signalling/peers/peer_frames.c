#include "peer_frames.h"

#include <string.h>
#include <sys/socket.h>

int send_without_fcs(int fd, const void *buf, int buflen) {
    if (buflen <= FCS_OCTETS) return buflen;
    if (send(fd, buf, (size_t)(buflen - FCS_OCTETS), MSG_NOSIGNAL) < 0) return -1;
    return buflen;
}

int append_fcs(void *buf, int len) {
    memset((unsigned char *)buf + len, 0, FCS_OCTETS);
    return len + FCS_OCTETS;
}

long ms_until(const struct timeval *due) {
    struct timeval now;
    gettimeofday(&now, NULL);
    long ms = (due->tv_sec - now.tv_sec) * 1000L + (due->tv_usec - now.tv_usec) / 1000L;
    return ms < 0 ? 0 : ms;
}

int is_due(const struct timeval *due) {
    struct timeval now;
    gettimeofday(&now, NULL);
    return timercmp(&now, due, >=);
}
