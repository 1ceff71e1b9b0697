// Sends a call record, formatted by the caller, as one UDP datagram to each of a list of
// destinations.
#pragma once

#include <string>

#include "core/fd.h"

namespace CDR_Sender {

class Sender {
public:
    Sender();
    virtual ~Sender() = default;
    Sender(const Sender&) = delete;
    Sender& operator=(const Sender&) = delete;

    // Destinations are "a.b.c.d[:port]" words separated by white space. False only when there is
    // no socket; a word that is not an address is skipped, a failed send is not reported.
    bool SendTo(const std::string& record, const std::string& destinations);

private:
    Fd mSocket;
};

}  // namespace CDR_Sender
