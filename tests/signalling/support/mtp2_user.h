#pragma once

#include <functional>
#include <string>
#include <vector>

#include "core/packet.h"
#include "core/protocol.h"
#include "signalling/ss7_slc.h"

// A layer above an MTP level 2 link that writes down what comes up: "up",
// "down:<status text>" and "msu:<hex octets>". An answer hook may send MSUs
// back from inside the delivery.
struct Mtp2User : Protocol {
    void local_activate() override {
        ++ups;
        events.push_back("up");
    }
    void on_deactivate(Protocol_status status) override {
        ++downs;
        events.push_back("down:" + status->message());
    }
    void receive(Packet& p) override {
        received.push_back(p.text());
        if (keep_events) events.push_back("msu:" + p.text());
        if (answer) answer(p);
    }
    // An MSU with head room for the link below.
    Packet Msu(const std::vector<unsigned char>& octets) {
        Packet p;
        prepare_head(p);
        for (unsigned char c : octets) p.put8(c);
        return p;
    }
    void Send(const std::vector<unsigned char>& octets) {
        Packet p = Msu(octets);
        transmit(p);
    }

    std::vector<std::string> events;
    std::vector<std::string> received;
    bool keep_events = true;
    int ups = 0;
    int downs = 0;
    std::function<void(Packet&)> answer;
};

// A link with the user layer above it, owned by the stack.
struct Mtp2Stack {
    Mtp2Stack() {
        list.add_protocol_tail(link = new SS7::SLC);
        list.add_protocol_tail(user = new Mtp2User);
    }
    ProtocolsList list;
    SS7::SLC* link;
    Mtp2User* user;
};
