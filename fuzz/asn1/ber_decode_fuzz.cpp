// Random octets decoded in BER as a whole test message; whatever decodes must survive a round trip.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "asn1/codecs/ber_decoder.h"
#include "asn1/codecs/ber_encoder.h"
#include "tests/asn1/test_module.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const char* begin = reinterpret_cast<const char*>(data);
    TestModule::Message msg;
    if (!ASN1::decodeBER(begin, begin + size, msg)) return 0;

    std::vector<char> octets;
    if (!ASN1::encodeBER(msg, std::back_inserter(octets))) return 0;
    TestModule::Message again;
    if (!ASN1::decodeBER(octets.data(), octets.data() + octets.size(), again)) std::abort();
    if (again != msg) std::abort();
    std::vector<char> second;
    if (!ASN1::encodeBER(again, std::back_inserter(second)) || second != octets) std::abort();
    return 0;
}
