// Control and SNMP agent link messages from untrusted octets: decode from an exact-size copy,
// then walk the accessors the server uses and print whatever decoded. What decodes and
// can be written back must decode again to the same value and the same octets.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
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

template <class T>
void RoundTrip(const T& value) {
    std::string text = ASN1::asValueNotation(value);
    (void)text;
    T copy(value);
    if (copy != value) std::abort();
    ASN1::CoderEnv env;
    env.set_encodingRule(ASN1::CoderEnv::per_Aligned);
    // Numbers outside their ranges decode (the server answers them) but cannot be written back.
    std::vector<char> octets;
    if (!ASN1::encode(value, env, std::back_inserter(octets))) return;
    T again;
    if (!ASN1::decode(octets.data(), octets.data() + octets.size(), &env, again, true)) std::abort();
    if (again != value) std::abort();
    std::vector<char> second;
    if (!ASN1::encode(again, env, std::back_inserter(second)) || second != octets) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    // The first octet picks the link, the rest is the message.
    if (data[0] & 1) {
        MON::Message m;
        if (DecodeExact(data + 1, size - 1, m)) RoundTrip(m);
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
    RoundTrip(m);
    return 0;
}
