#include "config/call_record_sender.h"

#include <netinet/in.h>
#include <sys/socket.h>

#include <sstream>

#include "core/inet4_addr.h"

namespace CDR_Sender {

Sender::Sender() : mSocket(::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP)) {}

bool Sender::SendTo(const std::string& record, const std::string& destinations) {
    if (!mSocket.is_valid()) return false;
    std::istringstream words(destinations);
    std::string word;
    while (words >> word) {
        INet4::Addr to;
        // An unparsable word would leave 0.0.0.0 behind: skip it rather than send there.
        if (!to.Assign(word)) continue;
        ::sendto(mSocket.lowlevel_fd(), record.data(), record.size(), 0, to, to.size());
    }
    return true;
}

}  // namespace CDR_Sender
