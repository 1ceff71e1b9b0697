#include "core/protocol.h"

#include <cstring>
#include <ostream>

void Protocol_name::out(std::ostream& os) const {
    os << name();
}

Protocol_name_str::Protocol_name_str(const char* text) {
    if (text == nullptr) text = "(no name)";
    const size_t n = std::strlen(text) + 1;
    text_ = new char[n];
    std::memcpy(text_, text, n);
}

Protocol_name_str::~Protocol_name_str() {
    delete[] text_;
}

bool Protocol_name_str::compare(const Protocol_name& other) const {
    return compatible(other) && std::strcmp(text_, other.name()) == 0;
}

std::ostream& operator<<(std::ostream& os, const Protocol_name& name) {
    name.out(os);
    return os;
}

std::ostream& operator<<(std::ostream& os, const Protocol_info& info) {
    info.out(os);
    return os;
}

void Protocol_status_success::out(std::ostream& os) const {
    os << text_;
}

void Protocol_status_error::out(std::ostream& os) const {
    os << text_;
}

std::ostream& operator<<(std::ostream& os, const Internal_protocol_status& status) {
    status.out(os);
    return os;
}

// ---- Protocol ----

Protocol::~Protocol() {
    if (parent_ != nullptr) parent_->remove_protocol(this);
}

void Protocol::local_prepare_head(Packet& p) {
    p.reserve_head(0);
}

void Protocol::local_prepare_tail(Packet& p) {
    p.reserve_tail(0);
}

Protocol_status Protocol::local_initialize() {
    return new Protocol_status_success(this, "success");
}

void Protocol::local_activate() {
    on_activate();
}

void Protocol::local_deactivate() {
    on_deactivate(new Protocol_status_success(this, "success"));
}

void Protocol::transmit(Packet& p) {
    if (below() != nullptr)
        below()->message(p);
    else if (parent_ != nullptr)
        parent_->transmit(p);
}

void Protocol::on_message(Packet& p) {
    if (above() != nullptr)
        above()->receive(p);
    else if (parent_ != nullptr)
        parent_->on_message(p);
}

void Protocol::on_activate() {
    if (above() != nullptr)
        above()->local_activate();
    else if (parent_ != nullptr)
        parent_->on_activated(this);
}

void Protocol::on_deactivate(Protocol_status status) {
    if (status->success()) {
        // Stopping goes on downwards.
        if (below() != nullptr)
            below()->deactivate();
        else if (parent_ != nullptr)
            parent_->on_deactivated(this, status);
        return;
    }
    // A failure goes up without stopping the layers above.
    if (above() != nullptr)
        above()->on_deactivate(status);
    else if (parent_ != nullptr)
        parent_->on_deactivated(this, status);
}

void Protocol::on_status(Protocol_status status) {
    if (above() != nullptr)
        above()->on_status(status);
    else if (parent_ != nullptr)
        parent_->on_status(status);
}

void Protocol::activate() {
    if (below() != nullptr)
        below()->activate();
    else
        local_activate();
}

void Protocol::deactivate() {
    local_deactivate();
}

void Protocol::prepare_head(Packet& p) {
    descend_prepare_head(p);
    local_prepare_head(p);
}

void Protocol::prepare_tail(Packet& p) {
    descend_prepare_tail(p);
    local_prepare_tail(p);
}

void Protocol::descend_prepare_head(Packet& p) {
    if (below() != nullptr) below()->prepare_head(p);
}

void Protocol::descend_prepare_tail(Packet& p) {
    if (below() != nullptr) below()->prepare_tail(p);
}

Protocol_status Protocol::initialize() {
    if (below() != nullptr) {
        Protocol_status st = below()->initialize();
        if (!st->success()) return st;
    }
    return local_initialize();
}

// ---- ProtocolsList ----

ProtocolsList::~ProtocolsList() {
    while (Protocol* p = remove_from_tail()) {
        p->parent_ = nullptr;
        p->next = p->prev = nullptr;
        delete p;
    }
}

Protocol* ProtocolsList::add_protocol_head(Protocol* p) {
    insert_to_head(p);
    p->parent_ = this;
    return p;
}

Protocol* ProtocolsList::add_protocol_tail(Protocol* p) {
    insert_to_tail(p);
    p->parent_ = this;
    return p;
}

Protocol* ProtocolsList::search(const Protocol_name& name) const {
    for (Protocol* p = head(); p != nullptr; p = p->above())
        if (p->compare_name(name)) return p;
    return nullptr;
}

void ProtocolsList::remove_protocol(Protocol* p) {
    remove(p);
    p->next = p->prev = nullptr;
    p->parent_ = nullptr;
}

// ---- ProtocolsFamily ----

void ProtocolsFamily::local_prepare_head(Packet& p) {
    if (top() != nullptr) top()->prepare_head(p);
}

void ProtocolsFamily::local_prepare_tail(Packet& p) {
    if (top() != nullptr) top()->prepare_tail(p);
}

Protocol_status ProtocolsFamily::local_initialize() {
    if (top() == nullptr) return new Protocol_initialize_error(this);
    return top()->initialize();
}

void ProtocolsFamily::local_activate() {
    if (top() != nullptr) top()->activate();
}

void ProtocolsFamily::local_deactivate() {
    if (top() != nullptr) top()->deactivate();
}

void ProtocolsFamily::message(Packet& p) {
    if (top() != nullptr) top()->message(p);
}

void ProtocolsFamily::receive(Packet& p) {
    if (bottom() != nullptr) bottom()->receive(p);
}

void ProtocolsFamily::on_activated(Protocol* p) {
    if (p == top()) on_activate();
}

void ProtocolsFamily::on_deactivated(Protocol*, Protocol_status status) {
    on_deactivate(status);
}
