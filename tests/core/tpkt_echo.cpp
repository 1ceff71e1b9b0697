// Test harness: a controller acceptor on loopback that sends every received TPKT body
// back in a frame of its own. Prints "port N" once listening; exits when its first
// client has gone, or on SIGTERM. Usage: core_tpkt_echo [port]
#include <csignal>
#include <cstdlib>
#include <iostream>

#include "core/acceptor_net.h"
#include "core/multiplexer.h"

namespace {

class Echo : public Control::Notify {
public:
    explicit Echo(Control::Service& service) : service_(service) {}
    void OnConnect() override {}
    void OnDisconnect() override { multiplexer.terminate(); }
    void OnMessage(const char* data, int length) override { service_.Send(data, length); }

private:
    Control::Service& service_;
};

void OnTerm(int) {
    multiplexer.terminate();
}

}  // namespace

int main(int argc, char** argv) {
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGTERM, OnTerm);
    const int port = argc > 1 ? std::atoi(argv[1]) : 0;
    Control::AcceptorNetCheckConnection service(port);
    service.bind_address("127.0.0.1");
    service.service_name("echo");
    Echo echo(service);
    service.Bind(&echo);
    if (!service.Activate() || service.local_port() == 0) {
        std::cerr << "cannot listen" << std::endl;
        return 1;
    }
    std::cout << "port " << service.local_port() << std::endl;
    multiplexer.run(false, true);
    service.Deactivate();
    return 0;
}
