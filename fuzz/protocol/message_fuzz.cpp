// Control and SNMP agent link messages from untrusted octets: decode from an exact-size copy,
// then walk the accessors the server uses, re-encode and print whatever decoded.
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string>
#include <vector>

#include "asn1/coder_env.h"
#include "asn1/printer.h"
#include "protocol/LGCP.h"
#include "protocol/MON.h"

namespace {

template <class T>
bool DecodeExact(const uint8_t* data, size_t size, T& value) {
    std::vector<char> exact(data, data + size);
    ASN1::CoderEnv env;
    env.set_encodingRule(ASN1::CoderEnv::per_Aligned);
    return ASN1::decode(exact.data(), exact.data() + exact.size(), &env, value, true);
}

void Reencode(const ASN1::AbstractData& value) {
    ASN1::CoderEnv env;
    env.set_encodingRule(ASN1::CoderEnv::per_Aligned);
    std::vector<char> out;
    (void)ASN1::encode(value, env, std::back_inserter(out));
    std::string text = ASN1::asValueNotation(value);
    (void)text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    // The first octet picks the link, the rest is the message.
    if (data[0] & 1) {
        MON::Message m;
        if (DecodeExact(data + 1, size - 1, m)) Reencode(m);
        return 0;
    }
    LGCP::Message m;
    if (!DecodeExact(data + 1, size - 1, m)) return 0;
    if (m.seq_isPresent()) (void)m.get_seq().getValue();
    if (m.slot_isPresent()) (void)m.get_slot().getValue();
    const LGCP::PDU& pdu = m.get_pdu();
    if (pdu.command_isSelected()) {
        const LGCP::Command& c = pdu.get_command();
        if (c.create_isSelected()) (void)c.get_create().currentSelection();
        if (c.ioctl_isSelected()) (void)c.get_ioctl().currentSelection();
        if (c.connect_isSelected()) (void)c.get_connect().getValue();
        if (c.display_isSelected()) (void)c.get_display().currentSelection();
    } else if (pdu.response_isSelected() && pdu.get_response().error_isSelected()) {
        (void)pdu.get_response().get_error().asInt();
    }
    Reencode(m);
    LGCP::Message copy(m);
    return copy == m ? 0 : 0;
}
