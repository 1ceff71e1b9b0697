// A small TCP server for trace clients: every traced message goes to each client as one
// TPKT frame, and the frames that clients send are handed to a receiver.
#pragma once

#include <list>
#include <memory>
#include <string>

#include "core/accept_pause.h"
#include "core/event.h"

class TPKTTracer {
public:
    // Takes one frame body; the bytes are valid during the call only.
    class Receiver {
    public:
        virtual ~Receiver() = default;
        virtual void OnTraceMessage(const void* data, unsigned length) = 0;
    };

    static constexpr unsigned kBufferSize = 512;  // the longest body a client may send
    // Frames one event reads at most: a client that never stops sending would otherwise
    // keep the loop in its handler. What is left is read on the next pass.
    static constexpr unsigned kFramesPerEvent = 64;

    struct Connection {
        int state = 1;  // 1: a header is awaited, 0: a body
        unsigned need = 4;
        unsigned have = 0;
        Event event;
        unsigned char buffer[kBufferSize];
    };
    using Connections = std::list<std::unique_ptr<Connection>>;
    using Position = Connections::iterator;

    TPKTTracer() = default;
    ~TPKTTracer();
    TPKTTracer(const TPKTTracer&) = delete;
    TPKTTracer& operator=(const TPKTTracer&) = delete;

    // Listens on every local address unless bind_address() named one; false on any failure.
    bool Listen(unsigned short port);
    void bind_address(const std::string& address) { bind_address_ = address; }
    // The port listened on (the one the system chose for port 0), or 0.
    unsigned short local_port() const;

    // One frame to the client whose frame is being handled, or else to every client.
    void Send(const void* data, unsigned int length);

    void OnEvent(int fd, short revents);
    void OnDataEvent(int fd, short revents);

    void CloseConnection(Position position);
    Position FindConnection(int fd);
    Position begin() { return connections_.begin(); }
    Position end() { return connections_.end(); }
    unsigned connection_count() const { return static_cast<unsigned>(connections_.size()); }

    // Not owned; while null, received frames are read and dropped.
    Receiver* receiver = nullptr;

private:
    void Accept(int fd);
    // Reads what the client has sent; false once the connection is gone.
    bool Receive(Connection& connection);
    bool OnHeader(Connection& connection);
    void SendTo(Position position, const unsigned char* header, const void* data, unsigned length);

    Event listener_;
    AcceptPause accept_pause_{listener_};
    std::string bind_address_;
    Connections connections_;
    Position current_ = connections_.end();
    // A connection closed while its own frame is being handled lives on until that ends:
    // the receiver may still hold the bytes of its buffer.
    Connections closed_;
};
