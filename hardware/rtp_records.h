#pragma once

#include <iosfwd>

// Records the packet-voice and RTP extension drivers exchange with the slots,
// with printers for debugging.

struct rtp_channel_info {
    int tdm = 0;  // TDM channel
    int dev_no = 0;
    int chn = 0;
};

struct rtp_attach_session_params {
    int fd_rtp = -1;
    int pid_rtp = 0;
};

struct rtp_ext_attach_session_params {
    int fd_rtp = -1;
    int pid_rtp = 0;
};

// One line, no line end.
std::ostream& operator<<(std::ostream& os, const rtp_channel_info& r);
// A block of lines: name, braces, one field a line.
std::ostream& operator<<(std::ostream& os, const rtp_attach_session_params& r);
std::ostream& operator<<(std::ostream& os, const rtp_ext_attach_session_params& r);
