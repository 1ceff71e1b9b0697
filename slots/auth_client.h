// One connection of the PPP authentication peer (portslave) on the modem factory's
// socket. The records it reads go to the factory, which finds the session's modem
// slot; what the factory sends for a session goes out here. Nothing the peer does
// can hold the loop or make the connection keep more than one record and a bounded
// backlog of answers.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "core/event.h"
#include "core/fd.h"
#include "core/inet4_addr.h"
#include "core/repeated_line.h"
#include "slots/auth_record.h"

class ModemFactory;

class AuthClient {
public:
    // Answers the peer leaves unread beyond this end the connection.
    static constexpr size_t kMaxBacklog = 16 * 1024;

    // Takes the connected, non-blocking socket into the loop.
    AuthClient(ModemFactory& factory, Fd fd, const INet4::Addr& peer);
    AuthClient(const AuthClient&) = delete;
    AuthClient& operator=(const AuthClient&) = delete;

    // Sends the record now or as soon as the socket takes it; false when the
    // connection is gone (or goes, for a backlog over kMaxBacklog).
    bool Send(const AuthRecord::Bytes& record);
    // Out of the loop; the factory deletes it outside its handler.
    bool closed() const { return !event_.IsActive(); }

private:
    // The lines that a peer's records can repeat, each held to one a second.
    enum LineKind {
        kLoginSize,
        kAccountingSize,
        kAcceptIgnored,
        kIpIgnored,
        kUnknownType,
        kLoginNoSlot,
        kAccountingNoSlot,
        kLineKinds
    };

    void OnSocketEvent(int fd, short revents);
    void OnRecord(const uint8_t* record, uint32_t length);
    void Flush();
    void Close();
    template <class Text>
    void Report(LineKind kind, Text text);

    ModemFactory& factory_;
    INet4::Addr peer_;
    Event event_;
    AuthRecord::Stream stream_;
    AuthRecord::Bytes backlog_;
    std::array<RepeatedLine, kLineKinds> lines_;
};
