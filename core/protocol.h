// Layered protocol stacks: a Protocol takes packets from the layer above (message),
// passes them down (transmit), takes them from below (receive) and passes them up
// (on_message). A ProtocolsList owns an ordered stack, bottom first; a ProtocolsFamily
// is a stack that acts as one layer of its own parent, so stacks nest. Starting and
// stopping results travel as reference-counted status objects.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>

#include "core/dual_list.h"
#include "core/packet.h"
#include "core/smart_pointer.h"

class Protocol_name {
public:
    virtual ~Protocol_name() = default;
    virtual int kind() const = 0;
    virtual const char* name() const = 0;
    virtual bool compare(const Protocol_name& other) const = 0;

    bool compatible(const Protocol_name& other) const { return kind() == other.kind(); }
    void out(std::ostream& os) const;
};

class Protocol_name_null : public Protocol_name {
public:
    int kind() const override { return 0; }
    const char* name() const override { return "(no name)"; }
    // Any two null names are equal.
    bool compare(const Protocol_name& other) const override { return compatible(other); }
};

class Protocol_name_str : public Protocol_name {
public:
    explicit Protocol_name_str(const char* text);
    Protocol_name_str(const Protocol_name_str& other) : Protocol_name_str(other.text_) {}
    Protocol_name_str& operator=(const Protocol_name_str&) = delete;
    ~Protocol_name_str() override;

    int kind() const override { return 1; }
    const char* name() const override { return text_; }
    bool compare(const Protocol_name& other) const override;

private:
    char* text_;
};

std::ostream& operator<<(std::ostream& os, const Protocol_name& name);

class Protocol_info {
public:
    virtual ~Protocol_info() = default;
    virtual bool compare_name(const Protocol_name&) const { return false; }
    virtual const Protocol_name& name() const { return null_name_; }

    void out(std::ostream& os) const { name().out(os); }

private:
    Protocol_name_null null_name_;
};

std::ostream& operator<<(std::ostream& os, const Protocol_info& info);

// ---- status objects ----

class Internal_protocol_status {
public:
    explicit Internal_protocol_status(const Protocol_info* source) : source(source) {}
    Internal_protocol_status(const Internal_protocol_status&) = delete;
    Internal_protocol_status& operator=(const Internal_protocol_status&) = delete;
    virtual ~Internal_protocol_status() = default;

    virtual bool success() const = 0;
    virtual std::string message() const = 0;
    virtual void out(std::ostream& os) const = 0;

    const Protocol_info* source;
    uint32_t ref_count = 0;
};

using Protocol_status = Smart_pointer<Internal_protocol_status>;

class Protocol_status_success : public Internal_protocol_status {
public:
    Protocol_status_success(const Protocol_info* source, const std::string& text)
        : Internal_protocol_status(source), text_(text) {}
    bool success() const override { return true; }
    std::string message() const override { return text_; }
    void out(std::ostream& os) const override;

private:
    std::string text_;
};

class Protocol_status_error : public Internal_protocol_status {
public:
    Protocol_status_error(const Protocol_info* source, const std::string& text)
        : Internal_protocol_status(source), text_(text) {}
    bool success() const override { return false; }
    std::string message() const override { return text_; }
    void out(std::ostream& os) const override;

private:
    std::string text_;
};

class Protocol_initialize_error : public Protocol_status_error {
public:
    explicit Protocol_initialize_error(const Protocol_info* source)
        : Protocol_status_error(source, "error") {}
};

std::ostream& operator<<(std::ostream& os, const Internal_protocol_status& status);

// ---- layers ----

class ProtocolsList;

// next is the layer above, prev the layer below. A call that finds neither the
// neighbour it needs nor a parent does nothing.
class Protocol : public Protocol_info, public F_dual_list_item<Protocol> {
public:
    Protocol() = default;
    Protocol(const Protocol&) = delete;
    Protocol& operator=(const Protocol&) = delete;
    // Leaves the parent's list, if in one.
    ~Protocol() override;

    virtual void local_prepare_head(Packet& p);
    virtual void local_prepare_tail(Packet& p);
    virtual Protocol_status local_initialize();
    virtual void local_activate();
    virtual void local_deactivate();
    virtual void transmit(Packet& p);
    virtual void on_message(Packet& p);
    virtual void on_activate();
    virtual void on_deactivate(Protocol_status status);
    virtual void on_status(Protocol_status status);
    virtual void message(Packet&) {}
    virtual void receive(Packet&) {}
    virtual void activate();
    virtual void deactivate();
    virtual void protocol_info(std::ostream&) const {}

    // Head (tail) room of this layer and of every layer below it, bottom first.
    void prepare_head(Packet& p);
    void prepare_tail(Packet& p);
    void descend_prepare_head(Packet& p);
    void descend_prepare_tail(Packet& p);
    // The layers below first; the first failure is returned at once.
    Protocol_status initialize();

    Protocol* above() const { return next; }
    Protocol* below() const { return prev; }
    ProtocolsList* parent() const { return parent_; }

private:
    friend class ProtocolsList;
    ProtocolsList* parent_ = nullptr;
};

// An owned stack of layers: the head is the bottom layer, the tail the top one.
class ProtocolsList : public Protocol, private F_dual_list<Protocol> {
public:
    ProtocolsList() = default;
    // Deletes the layers, top first.
    ~ProtocolsList() override;

    virtual void on_activated(Protocol*) {}
    virtual void on_deactivated(Protocol*, Protocol_status) {}
    virtual Protocol* add_protocol_head(Protocol* p);
    virtual Protocol* add_protocol_tail(Protocol* p);

    Protocol* search(const Protocol_name& name) const;

    Protocol* bottom() const { return head(); }
    Protocol* top() const { return tail(); }
    unsigned layers() const { return count(); }

private:
    friend class Protocol;
    void remove_protocol(Protocol* p);
};

// A stack that behaves as one layer of its own parent.
class ProtocolsFamily : public ProtocolsList {
public:
    void local_prepare_head(Packet& p) override;
    void local_prepare_tail(Packet& p) override;
    Protocol_status local_initialize() override;
    void local_activate() override;
    void local_deactivate() override;
    void message(Packet& p) override;
    void receive(Packet& p) override;
    void on_activated(Protocol* p) override;
    void on_deactivated(Protocol* p, Protocol_status status) override;
};
