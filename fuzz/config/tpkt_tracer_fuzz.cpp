// Frames from trace clients: random byte streams, cut at random points, sent on a real
// client connection and read by the tracer's receive path. The input is a flags byte,
// then a row of pieces, each a length byte and that many stream bytes. The flags make
// the receiver answer every frame, and close the connection from inside the receiver
// at a chosen frame. The bodies handed over must be exactly those of the stream's
// well-formed frames up to its first bad header, and the connection must be gone at
// the end.
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "config/tpkt_tracer.h"

namespace {

class Receiver : public TPKTTracer::Receiver {
public:
    explicit Receiver(TPKTTracer& tracer) : tracer_(tracer) {}
    void OnTraceMessage(const void* data, unsigned length) override {
        // Read through an exact-size copy: a length past the body shows.
        std::unique_ptr<unsigned char[]> exact(new unsigned char[length == 0 ? 1 : length]);
        std::memcpy(exact.get(), data, length);
        bodies.emplace_back(reinterpret_cast<const char*>(exact.get()), length);
        if (echo) tracer_.Send(exact.get(), length);
        if (closeAt != 0 && bodies.size() == closeAt) tracer_.CloseConnection(tracer_.FindConnection(fd));
    }
    TPKTTracer& tracer_;
    std::vector<std::string> bodies;
    bool echo = false;
    std::size_t closeAt = 0;
    int fd = -1;
};

// The bodies the tracer must deliver: well-formed frames of at most kBufferSize body
// bytes, up to the first bad header or the frame the receiver closes at.
std::vector<std::string> Frames(const std::string& s, std::size_t closeAt) {
    std::vector<std::string> out;
    std::size_t i = 0;
    while (i + 4 <= s.size()) {
        const unsigned length =
            static_cast<unsigned char>(s[i + 2]) * 256u + static_cast<unsigned char>(s[i + 3]);
        if (s[i] != 3 || s[i + 1] != 0 || length < 4 || length - 4 > TPKTTracer::kBufferSize) break;
        if (i + length > s.size()) break;
        if (length > 4) {
            out.push_back(s.substr(i + 4, length - 4));
            if (out.size() == closeAt) break;
        }
        i += length;
    }
    return out;
}

// A listening socket in the abstract namespace: the tracer accepts from it as from
// its own listener.
struct Listener {
    Listener() {
        address.sun_family = AF_UNIX;
        const std::string name = "tpkt-tracer-fuzz." + std::to_string(::getpid());
        std::memcpy(address.sun_path + 1, name.data(), name.size());
        length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
        fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0);
        if (::bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 || ::listen(fd, 4) != 0)
            std::abort();
    }
    int Connect() const {
        const int client = ::socket(AF_UNIX, SOCK_STREAM, 0);
        if (::connect(client, reinterpret_cast<const sockaddr*>(&address), length) != 0) std::abort();
        return client;
    }
    int fd = -1;
    sockaddr_un address{};
    socklen_t length = 0;
};

void Drain(int fd) {
    char buffer[65536];
    while (::recv(fd, buffer, sizeof(buffer), MSG_DONTWAIT) > 0) {
    }
}

std::ostringstream sink;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Listener listener;
    static TPKTTracer tracer;
    if (size == 0) return 0;

    std::streambuf* oldLog = std::clog.rdbuf(sink.rdbuf());
    std::streambuf* oldErr = std::cerr.rdbuf(sink.rdbuf());
    Receiver receiver(tracer);
    tracer.receiver = &receiver;
    receiver.echo = (data[0] & 1) != 0;
    receiver.closeAt = data[0] >> 1;

    const int peer = listener.Connect();
    tracer.OnEvent(listener.fd, POLLIN);
    if (tracer.connection_count() != 1) std::abort();
    receiver.fd = (*tracer.begin())->event.lowlevel_fd();

    std::string stream;
    std::size_t i = 1;
    while (i < size) {
        const std::size_t n = std::min<std::size_t>(data[i], size - i - 1);
        ++i;
        std::unique_ptr<char[]> piece(new char[n == 0 ? 1 : n]);
        std::memcpy(piece.get(), data + i, n);
        stream.append(piece.get(), n);
        if (n != 0 && ::send(peer, piece.get(), n, MSG_NOSIGNAL) != static_cast<ssize_t>(n)) break;
        if (tracer.connection_count() != 0) tracer.OnDataEvent(receiver.fd, POLLIN);
        Drain(peer);
        i += n;
    }
    ::close(peer);
    // One event reads a bounded number of frames: serve it until the end of stream.
    for (std::size_t k = 0; k <= size && tracer.connection_count() != 0; ++k)
        tracer.OnDataEvent(receiver.fd, POLLIN);
    if (tracer.connection_count() != 0) std::abort();
    if (receiver.bodies != Frames(stream, receiver.closeAt)) std::abort();

    tracer.receiver = nullptr;
    std::clog.rdbuf(oldLog);
    std::cerr.rdbuf(oldErr);
    sink.str(std::string());
    return 0;
}
