// A small message module written the way the generated ones are: thin classes over the runtime
// bases, constant info records, accessors by field and alternative index.
//
//   MccType ::= ENUMERATED { data, bri, transparent }
//   StandbyState ::= ENUMERATED { initial, learn, listen, speak(4), standby(8), active(16), ... }
//   DualTone ::= SEQUENCE { freq1 INTEGER (0..65535), freq2 INTEGER (0..65535) OPTIONAL, ... }
//   Params ::= SEQUENCE { name IA5String OPTIONAL, tones SEQUENCE OF DualTone,
//                         level INTEGER (-128..127) OPTIONAL, mode MccType, ...,
//                         gain INTEGER (0..255) OPTIONAL, standby StandbyState OPTIONAL }
//   Response ::= CHOICE { success NULL, error MccType, info IA5String, ..., count INTEGER (0..255) }
//   Command ::= CHOICE { create Params, destroy NULL, ping NULL }
//   PDU ::= CHOICE { command Command, response Response }
//   Message ::= SEQUENCE { seq INTEGER OPTIONAL, slot INTEGER (0..1023) OPTIONAL, pdu PDU }
#pragma once

#include <string>

#include "asn1/asn1.h"

namespace TestModule {

using U16 = ASN1::Constrained_INTEGER<ASN1::FixedConstraint, 0, 65535u>;
using U8 = ASN1::Constrained_INTEGER<ASN1::FixedConstraint, 0, 255u>;
using S8 = ASN1::Constrained_INTEGER<ASN1::FixedConstraint, -128, 127u>;
using SlotNumber = ASN1::Constrained_INTEGER<ASN1::FixedConstraint, 0, 1023u>;

class MccType : public ASN1::ENUMERATED {
public:
    enum NamedNumber { data = 0, bri = 1, transparent = 2 };
    static const InfoType theInfo;

    MccType() : ENUMERATED(&theInfo) {}
    MccType(NamedNumber value) : ENUMERATED(&theInfo) { setFromInt(value); }
    MccType& operator=(NamedNumber value) {
        setFromInt(value);
        return *this;
    }
    operator NamedNumber() const { return static_cast<NamedNumber>(asInt()); }
    bool is_bri() const { return asInt() == bri; }
    void set_bri() { setFromInt(bri); }
};

class StandbyState : public ASN1::ENUMERATED {
public:
    enum NamedNumber { initial = 0, learn = 1, listen = 2, speak = 4, standby = 8, active = 16 };
    static const InfoType theInfo;

    StandbyState() : ENUMERATED(&theInfo) {}
    StandbyState(NamedNumber value) : ENUMERATED(&theInfo) { setFromInt(value); }
    StandbyState& operator=(NamedNumber value) {
        setFromInt(value);
        return *this;
    }
    operator NamedNumber() const { return static_cast<NamedNumber>(asInt()); }
};

class DualTone : public ASN1::SEQUENCE {
public:
    static const InfoType theInfo;

    DualTone() : SEQUENCE(&theInfo) {}
    const U16& get_freq1() const { return static_cast<const U16&>(*getField(0)); }
    void set_freq1(unsigned value) { static_cast<U16&>(*getField(0)) = value; }
    const U16& get_freq2() const { return static_cast<const U16&>(*getField(1)); }
    void set_freq2(unsigned value) { static_cast<U16&>(*includeOptionalField(0, 1)) = value; }
    void omit_freq2() { removeOptionalField(0); }
    bool freq2_isPresent() const { return hasOptionalField(0); }
    DualTone* clone() const { return static_cast<DualTone*>(SEQUENCE::clone()); }
};

using DualTones = ASN1::SEQUENCE_OF<DualTone, ASN1::EmptyConstraint>;

class Params : public ASN1::SEQUENCE {
public:
    static const InfoType theInfo;

    Params() : SEQUENCE(&theInfo) {}
    const ASN1::IA5String& get_name() const { return static_cast<const ASN1::IA5String&>(*getField(0)); }
    void set_name(const std::string& value) {
        static_cast<ASN1::IA5String&>(*includeOptionalField(0, 0)) = value;
    }
    void omit_name() { removeOptionalField(0); }
    bool name_isPresent() const { return hasOptionalField(0); }

    const DualTones& get_tones() const { return static_cast<const DualTones&>(*getField(1)); }
    DualTones& ref_tones() { return static_cast<DualTones&>(*getField(1)); }

    const S8& get_level() const { return static_cast<const S8&>(*getField(2)); }
    void set_level(int value) { static_cast<S8&>(*includeOptionalField(1, 2)).setValue(value); }
    void omit_level() { removeOptionalField(1); }
    bool level_isPresent() const { return hasOptionalField(1); }

    const MccType& get_mode() const { return static_cast<const MccType&>(*getField(3)); }
    void set_mode(MccType::NamedNumber value) { static_cast<MccType&>(*getField(3)) = value; }

    // Extension additions: presence bits 2 and 3, fields 4 and 5.
    const U8& get_gain() const { return static_cast<const U8&>(*getField(4)); }
    void set_gain(unsigned value) { static_cast<U8&>(*includeOptionalField(2, 4)) = value; }
    void omit_gain() { removeOptionalField(2); }
    bool gain_isPresent() const { return hasOptionalField(2); }

    const StandbyState& get_standby() const { return static_cast<const StandbyState&>(*getField(5)); }
    void set_standby(StandbyState::NamedNumber value) {
        static_cast<StandbyState&>(*includeOptionalField(3, 5)) = value;
    }
    void omit_standby() { removeOptionalField(3); }
    bool standby_isPresent() const { return hasOptionalField(3); }
};

class Response : public ASN1::CHOICE {
public:
    enum Alternative { success = 0, error = 1, info = 2, count = 3 };
    static const InfoType theInfo;

    Response() : CHOICE(&theInfo) {}
    ASN1::Null& select_success() {
        return static_cast<ASN1::Null&>(*setSelection(success, AbstractData::create(selection(success))));
    }
    bool success_isSelected() const { return currentSelection() == success; }
    MccType& select_error() {
        return static_cast<MccType&>(*setSelection(error, AbstractData::create(selection(error))));
    }
    void select_error(MccType::NamedNumber value) { select_error() = value; }
    const MccType& get_error() const { return static_cast<const MccType&>(*getSelection()); }
    bool error_isSelected() const { return currentSelection() == error; }
    ASN1::IA5String& select_info() {
        return static_cast<ASN1::IA5String&>(*setSelection(info, AbstractData::create(selection(info))));
    }
    void select_info(const std::string& value) { select_info() = value; }
    const ASN1::IA5String& get_info() const { return static_cast<const ASN1::IA5String&>(*getSelection()); }
    bool info_isSelected() const { return currentSelection() == info; }
    U8& select_count() {
        return static_cast<U8&>(*setSelection(count, AbstractData::create(selection(count))));
    }
    const U8& get_count() const { return static_cast<const U8&>(*getSelection()); }
    bool count_isSelected() const { return currentSelection() == count; }

private:
    const void* selection(int i) const { return record().selectionInfos[i]; }
};

class Command : public ASN1::CHOICE {
public:
    enum Alternative { create_ = 0, destroy = 1, ping = 2 };
    static const InfoType theInfo;

    Command() : CHOICE(&theInfo) {}
    Params& select_create() { return static_cast<Params&>(*setSelection(create_, new Params)); }
    const Params& get_create() const { return static_cast<const Params&>(*getSelection()); }
    bool create_isSelected() const { return currentSelection() == create_; }
    ASN1::Null& select_destroy() { return static_cast<ASN1::Null&>(*setSelection(destroy, new ASN1::Null)); }
    bool destroy_isSelected() const { return currentSelection() == destroy; }
    ASN1::Null& select_ping() { return static_cast<ASN1::Null&>(*setSelection(ping, new ASN1::Null)); }
    bool ping_isSelected() const { return currentSelection() == ping; }
};

class PDU : public ASN1::CHOICE {
public:
    enum Alternative { command = 0, response = 1 };
    static const InfoType theInfo;

    PDU() : CHOICE(&theInfo) {}
    Command& select_command() { return static_cast<Command&>(*setSelection(command, new Command)); }
    const Command& get_command() const { return static_cast<const Command&>(*getSelection()); }
    bool command_isSelected() const { return currentSelection() == command; }
    Response& select_response() { return static_cast<Response&>(*setSelection(response, new Response)); }
    const Response& get_response() const { return static_cast<const Response&>(*getSelection()); }
    bool response_isSelected() const { return currentSelection() == response; }
};

class Message : public ASN1::SEQUENCE {
public:
    static const InfoType theInfo;

    Message() : SEQUENCE(&theInfo) {}
    const ASN1::INTEGER& get_seq() const { return static_cast<const ASN1::INTEGER&>(*getField(0)); }
    void set_seq(int value) { static_cast<ASN1::INTEGER&>(*includeOptionalField(0, 0)) = value; }
    void omit_seq() { removeOptionalField(0); }
    bool seq_isPresent() const { return hasOptionalField(0); }
    const SlotNumber& get_slot() const { return static_cast<const SlotNumber&>(*getField(1)); }
    void set_slot(unsigned value) { static_cast<SlotNumber&>(*includeOptionalField(1, 1)) = value; }
    void omit_slot() { removeOptionalField(1); }
    bool slot_isPresent() const { return hasOptionalField(1); }
    const PDU& get_pdu() const { return static_cast<const PDU&>(*getField(2)); }
    PDU& set_pdu() { return static_cast<PDU&>(*getField(2)); }
    Message* clone() const { return static_cast<Message*>(SEQUENCE::clone()); }
};

}  // namespace TestModule
