#include "slots/modem_factory.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <iostream>
#include <sstream>
#include <utility>

#include "core/errno_text.h"
#include "core/inet4_addr.h"
#include "core/output.h"
#include "slots/auth_client.h"

ModemFactory& ModemFactory::instance() {
    static ModemFactory factory;
    return factory;
}

ModemFactory::ModemFactory() : accept_pause_(listen_event_) {
    listen_event_.Bind("ModemFactory::OnSocketEvent", &ModemFactory::OnSocketEvent, this);
    reap_.Bind(this, &ModemFactory::OnReap);
}

ModemFactory::~ModemFactory() {
    Close();
}

void ModemFactory::PutHeader(std::ostream& os) const {
    os << "modem[" << counter_ << "," << GetSlots().size() << "]: ";
}

bool ModemFactory::Listen(uint16_t port) {
    Close();
    INet4::Addr address("127.0.0.1");
    address.port(port);
    Fd fd(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    bool ok = fd.is_valid();
    if (ok) {
        const int on = 1;
        ::setsockopt(fd.lowlevel_fd(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on));
        ok = ::bind(fd.lowlevel_fd(), address, address.size()) == 0 &&
             ::listen(fd.lowlevel_fd(), kBacklog) == 0 && fd.NonBlock();
    }
    if (!ok) {
        Errno error;
        std::cerr << ext::header(this) << "can't listen on " << address << ": " << error << std::endl;
        return false;
    }
    listen_event_.Schedule(std::move(fd), POLLIN);
    return true;
}

void ModemFactory::Close() {
    accept_pause_.Reset();
    listen_event_.Release();
    peers_.clear();
    clients_.clear();
    reap_.Deactivate();
}

uint16_t ModemFactory::local_port() const {
    sockaddr_in sa{};
    socklen_t len = sizeof(sa);
    if (!listen_event_.IsActive() ||
        ::getsockname(listen_event_.lowlevel_fd(), reinterpret_cast<sockaddr*>(&sa), &len) != 0)
        return 0;
    return ntohs(sa.sin_port);
}

size_t ModemFactory::clients() const {
    return static_cast<size_t>(
        std::count_if(clients_.begin(), clients_.end(), [](const auto& c) { return !c->closed(); }));
}

void ModemFactory::OnSocketEvent(int fd, short revents) {
    if (!accept_pause_.ClientsWaiting(revents, ext::header(this), "listener ")) return;
    for (;;) {
        sockaddr_in sa{};
        socklen_t len = sizeof(sa);
        Fd client(::accept(fd, reinterpret_cast<sockaddr*>(&sa), &len));
        if (!client.is_valid()) {
            const int error = errno;
            std::ostringstream prefix;
            PutHeader(prefix);
            accept_pause_.OnAcceptError(error, &std::cerr, prefix.str().c_str());
            return;  // no more waiting peers, or none that can be taken now
        }
        accept_pause_.OnAccepted();
        if (!client.NonBlock()) {
            Errno error;
            std::cerr << ext::header(this) << "can't set socket to non block mode: " << error << std::endl;
            continue;
        }
        clients_.push_back(std::make_unique<AuthClient>(*this, std::move(client), INet4::Addr(sa)));
    }
}

void ModemFactory::AddSession(AuthSession& session) {
    if (std::find(sessions_.begin(), sessions_.end(), &session) == sessions_.end())
        sessions_.push_back(&session);
}

void ModemFactory::RemoveSession(AuthSession& session) {
    std::erase(sessions_, &session);
    peers_.erase(session.session());
}

AuthSession* ModemFactory::FindSession(uint32_t session) const {
    for (AuthSession* s : sessions_)
        if (s->session() == session) return s;
    return nullptr;
}

bool ModemFactory::OnLogin(AuthClient& client, const AuthRecord::Login& login) {
    AuthSession* session = FindSession(login.session);
    if (session == nullptr) return false;
    peers_[login.session] = &client;
    session->OnAuthLogin(login);
    return true;
}

bool ModemFactory::OnAccounting(const AuthRecord::Accounting& accounting) {
    AuthSession* session = FindSession(accounting.session);
    if (session == nullptr) return false;
    session->OnAuthAccounting(accounting);
    return true;
}

bool ModemFactory::SendAccept(uint32_t session) {
    auto it = peers_.find(session);
    return it != peers_.end() && it->second->Send(AuthRecord::EncodeAccept(session));
}

bool ModemFactory::SendAddress(uint32_t session, const AuthRecord::Address& address) {
    auto it = peers_.find(session);
    return it != peers_.end() && it->second->Send(AuthRecord::EncodeAddress(session, address));
}

void ModemFactory::OnClientClosed(AuthClient& client) {
    std::erase_if(peers_, [&](const auto& entry) { return entry.second == &client; });
    reap_.Activate();
}

void ModemFactory::OnReap() {
    clients_.remove_if([](const auto& c) { return c->closed(); });
    reap_.Deactivate();
}
