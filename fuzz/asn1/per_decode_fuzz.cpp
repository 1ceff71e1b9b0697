// Random octets decoded as a whole test message; whatever decodes must survive a round trip.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "asn1/coder_env.h"
#include "tests/asn1/test_module.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const char* begin = reinterpret_cast<const char*>(data);
    ASN1::CoderEnv env;
    env.set_encodingRule(ASN1::CoderEnv::per_Aligned);
    TestModule::Message msg;
    if (!ASN1::decode(begin, begin + size, &env, msg, true)) return 0;

    // Numbers outside their ranges decode (the server answers them) but cannot be written back.
    std::vector<char> octets;
    if (!ASN1::encode(msg, &env, std::back_inserter(octets))) return 0;

    TestModule::Message again;
    if (!ASN1::decode(octets.data(), octets.data() + octets.size(), &env, again, true)) std::abort();
    if (again != msg) std::abort();
    std::vector<char> second;
    if (!ASN1::encode(again, &env, std::back_inserter(second)) || second != octets) std::abort();
    return 0;
}
