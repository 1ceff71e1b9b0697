/* What the peer programs share: frames on a SOCK_SEQPACKET socket carry no
 * check octets, while libpri and libss7 read and write two behind every frame;
 * and their timers, due at a time of day. */
#ifndef PEER_FRAMES_H
#define PEER_FRAMES_H

#include <sys/time.h>

#define FCS_OCTETS 2

/* Sends what libpri wrote less its check octets; buflen, or -1 when the send fails. */
int send_without_fcs(int fd, const void *buf, int buflen);
/* Appends zero check octets to the len octets of a frame in buf; the new length. */
int append_fcs(void *buf, int len);
/* Milliseconds from now until due, 0 when it is past. */
long ms_until(const struct timeval *due);
/* Whether due has come. */
int is_due(const struct timeval *due);

#endif
