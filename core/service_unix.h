// Message connections over Unix-domain stream sockets named by a path: the same
// stack, states and loss sequence as the TCP ones, with a listener that serves one
// client at a time and a connector on the TCP connector's retry schedule.
#pragma once

#include <sys/un.h>

#include <string>

#include "core/acceptor_net.h"
#include "core/connector_net.h"
#include "core/control_service.h"
#include "core/event.h"
#include "core/fd.h"
#include "core/lasting_condition.h"
#include "core/timer.h"

namespace Control {

// AF_UNIX and at most 107 characters of the path, always zero-terminated.
sockaddr_un MakeUnixAddress(const std::string& path);

class ServiceUnix : public Service {
public:
    // What names a client: its path, empty for an unbound one.
    using Peer = std::string;

    // A freshly connected non-blocking socket and the peer's name.
    void Connected(Fd fd, const std::string& name) { Attach(fd, name); }
    // What a refusal is kept by.
    static const std::string& HostOf(const Peer& peer) { return peer; }
};

class AcceptorUnix : public Acceptor<ServiceUnix> {
public:
    AcceptorUnix() : AcceptorUnix(std::string()) {}
    explicit AcceptorUnix(const std::string& path);

    const std::string& path() const { return path_; }

protected:
    int ISocket() override;
    // The socket file left at the path is removed first.
    int IBind(int fd) override;
    int IAccept(int fd, std::string& peer) override;

private:
    std::string path_;
};

class ConnectorUnix : public Connector<ServiceUnix> {
public:
    ConnectorUnix() : ConnectorUnix(std::string()) {}
    explicit ConnectorUnix(const std::string& server_path) : ConnectorUnix(server_path, std::string()) {}
    ConnectorUnix(const std::string& server_path, const std::string& local_path);

protected:
    void TryConnect() override;
    void OnSocketEvent(int fd, short revents);

private:
    std::string server_path_;
    std::string local_path_;
    LastingCondition bind_failure_;
};

}  // namespace Control
