// The modem channel factory. Modem creates are recognised and declined (their device
// requests are not on this build), but the factory serves the PPP authentication
// peer from start-up: it listens on 127.0.0.1, takes any number of peer connections
// (AuthClient) and hands each login request and accounting record to the modem slot
// that owns the record's session, and the slot's answers to the connection that
// asked for that session.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <list>
#include <map>
#include <memory>
#include <vector>

#include "core/accept_pause.h"
#include "core/dpc.h"
#include "core/event.h"
#include "slots/auth_record.h"
#include "slots/slot_factory.h"

class AuthClient;

// What a modem slot is to the authentication peer while its PPP program runs: found
// by its session number.
class AuthSession {
public:
    virtual uint32_t session() const = 0;
    virtual void OnAuthLogin(const AuthRecord::Login& login) = 0;
    virtual void OnAuthAccounting(const AuthRecord::Accounting& accounting) = 0;

protected:
    ~AuthSession() = default;
};

class ModemFactory : public SlotFactory {
public:
    static constexpr uint16_t kAuthPort = 52000;
    static constexpr int kBacklog = 16;

    static ModemFactory& instance();
    ~ModemFactory() override;

    // Listens on 127.0.0.1 at the port (0: any free one), dropping any listener and
    // peers before. False, with one line, when the port cannot be had: the daemon
    // then runs without the socket.
    bool Listen(uint16_t port);
    // The listener and every peer connection closed.
    void Close();
    // The port listened on, 0 when none.
    uint16_t local_port() const;
    // Peer connections in the loop.
    size_t clients() const;

    // A modem slot's session joins and leaves the lookup.
    void AddSession(AuthSession& session);
    void RemoveSession(AuthSession& session);
    // The records a modem slot answers with, to the connection that last sent a
    // login request for the session; false when no connection did.
    bool SendAccept(uint32_t session);
    bool SendAddress(uint32_t session, const AuthRecord::Address& address);

    // From a peer connection: the record handed to its session's slot; false when
    // no slot owns the session.
    bool OnLogin(AuthClient& client, const AuthRecord::Login& login);
    bool OnAccounting(const AuthRecord::Accounting& accounting);
    // The connection left the loop: it is forgotten and deleted outside its handler.
    void OnClientClosed(AuthClient& client);

    void PutHeader(std::ostream& os) const override;

protected:
    Slot* INewSlot(const LGCP::CreateParams&) override { return nullptr; }

private:
    ModemFactory();
    AuthSession* FindSession(uint32_t session) const;
    void OnSocketEvent(int fd, short revents);
    void OnReap();

    Event listen_event_;
    AcceptPause accept_pause_;
    std::list<std::unique_ptr<AuthClient>> clients_;
    std::vector<AuthSession*> sessions_;
    std::map<uint32_t, AuthClient*> peers_;  // session -> connection
    Dpc reap_;
    unsigned counter_ = 0;  // sessions handed to a PPP program; none while modems are declined
};
