#include "slots/auth_client.h"

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <iostream>
#include <utility>

#include "core/errno_text.h"
#include "core/output.h"
#include "slots/modem_factory.h"

namespace {

// A user name as the peer sent it, with anything unprintable written as \xNN so
// that it cannot break the log line.
struct Printable {
    const std::string& text;
};

std::ostream& operator<<(std::ostream& os, Printable p) {
    static const char hex[] = "0123456789ABCDEF";
    os << '"';
    for (unsigned char c : p.text) {
        if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\')
            os << static_cast<char>(c);
        else
            os << "\\x" << hex[c >> 4] << hex[c & 0xF];
    }
    return os << '"';
}

}  // namespace

AuthClient::AuthClient(ModemFactory& factory, Fd fd, const INet4::Addr& peer)
    : factory_(factory), peer_(peer) {
    event_.Bind("AuthClient::OnSocketEvent", &AuthClient::OnSocketEvent, this);
    event_.Schedule(std::move(fd), POLLIN);
    std::clog << ext::header(&factory_) << "portslave connected from " << peer_ << std::endl;
}

template <class Text>
void AuthClient::Report(LineKind kind, Text text) {
    if (auto line = lines_[kind].Admit(std::cerr)) {
        line << ext::header(&factory_);
        text(line.stream());
    }
}

void AuthClient::OnSocketEvent(int fd, short revents) {
    if (revents & POLLOUT) {
        Flush();
        if (closed()) return;
    }
    if (!(revents & (POLLIN | POLLHUP | POLLERR))) return;
    uint8_t* space = stream_.space();
    const ssize_t n = ::recv(fd, space, stream_.room(), MSG_DONTWAIT);
    if (n == 0) {
        std::clog << ext::header(&factory_) << "portslave " << peer_ << " hung up." << std::endl;
        Close();
        return;
    }
    if (n < 0) {
        if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) {
            // A socket in error with nothing to read would be reported on every pass: it rests.
            event_.NothingRead(revents, ext::header(&factory_), "portslave ", peer_, " ");
            return;
        }
        Errno error;
        std::cerr << ext::header(&factory_) << "portslave " << peer_ << " read fail: " << error
                  << ", connection closed." << std::endl;
        Close();
        return;
    }
    event_.DataRead();
    stream_.Filled(static_cast<size_t>(n));
    for (;;) {
        const uint8_t* record = nullptr;
        uint32_t length = 0;
        switch (stream_.Next(record, length)) {
            case AuthRecord::Stream::kMore:
                return;
            case AuthRecord::Stream::kBadLength:
                // The framing is lost: nothing after this can be read as a record.
                std::cerr << ext::header(&factory_) << "portslave " << peer_ << " record length " << length
                          << " out of range, connection closed." << std::endl;
                Close();
                return;
            case AuthRecord::Stream::kRecord:
                OnRecord(record, length);
                if (closed()) return;
                break;
        }
    }
}

void AuthClient::OnRecord(const uint8_t* record, uint32_t length) {
    const uint32_t type = AuthRecord::Word(record, 1);
    switch (type) {
        case AuthRecord::kLogin: {
            AuthRecord::Login login;
            if (!AuthRecord::DecodeLogin(record, length, login)) {
                Report(kLoginSize, [&](std::ostream& os) { os << "auth request, invalid size: " << length; });
                return;
            }
            if (!factory_.OnLogin(*this, login))
                Report(kLoginNoSlot, [&](std::ostream& os) {
                    os << "auth request for session " << login.session << ", user " << Printable{login.user}
                       << ": no modem slot, dropped.";
                });
            return;
        }
        case AuthRecord::kAccounting: {
            AuthRecord::Accounting accounting;
            if (!AuthRecord::DecodeAccounting(record, length, accounting)) {
                Report(kAccountingSize,
                       [&](std::ostream& os) { os << "auth accounting, invalid size: " << length; });
                return;
            }
            if (!factory_.OnAccounting(accounting))
                Report(kAccountingNoSlot, [&](std::ostream& os) {
                    os << "auth accounting for session " << accounting.session << ": no modem slot, dropped.";
                });
            return;
        }
        case AuthRecord::kAccept:
            Report(kAcceptIgnored, [](std::ostream& os) { os << "auth accept, ignored."; });
            return;
        case AuthRecord::kAddress:
            Report(kIpIgnored, [](std::ostream& os) { os << "auth ip, ignored."; });
            return;
        default:
            Report(kUnknownType, [&](std::ostream& os) { os << "unknown request from portslave: " << type; });
            return;
    }
}

bool AuthClient::Send(const AuthRecord::Bytes& record) {
    if (closed()) return false;
    if (backlog_.size() + record.size() > kMaxBacklog) {
        std::cerr << ext::header(&factory_) << "portslave " << peer_
                  << " reads no answers, connection closed." << std::endl;
        Close();
        return false;
    }
    backlog_.insert(backlog_.end(), record.begin(), record.end());
    Flush();
    return !closed();
}

void AuthClient::Flush() {
    while (!backlog_.empty()) {
        const ssize_t n =
            ::send(event_.lowlevel_fd(), backlog_.data(), backlog_.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            backlog_.erase(backlog_.begin(), backlog_.begin() + n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
        Errno error;
        std::cerr << ext::header(&factory_) << "portslave " << peer_ << " write fail: " << error
                  << ", connection closed." << std::endl;
        Close();
        return;
    }
    event_.SetEvents(backlog_.empty() ? POLLIN : POLLIN | POLLOUT);
}

void AuthClient::Close() {
    if (closed()) return;
    event_.Release();
    backlog_.clear();
    factory_.OnClientClosed(*this);
}
