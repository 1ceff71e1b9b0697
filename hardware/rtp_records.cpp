#include "hardware/rtp_records.h"

#include <ostream>

namespace {

void PutSession(std::ostream& os, const char* name, int fd_rtp, int pid_rtp) {
    os << "  " << name << '\n'
       << "  {\n"
       << "   fd_rtp = " << fd_rtp << '\n'
       << "   pid_rtp = " << pid_rtp << '\n'
       << "  }\n";
}

}  // namespace

std::ostream& operator<<(std::ostream& os, const rtp_channel_info& r) {
    return os << "rtp_channel_info {"
              << " tdm=" << r.tdm << " dev_no=" << r.dev_no << " chn=" << r.chn << " }";
}

std::ostream& operator<<(std::ostream& os, const rtp_attach_session_params& r) {
    PutSession(os, "rtp_attach_session_params", r.fd_rtp, r.pid_rtp);
    return os;
}

std::ostream& operator<<(std::ostream& os, const rtp_ext_attach_session_params& r) {
    PutSession(os, "rtp_ext_attach_session_params", r.fd_rtp, r.pid_rtp);
    return os;
}
