#include "asn1/codecs/install_codecs.h"

#include "asn1/codecs/ber_decoder.h"
#include "asn1/codecs/ber_encoder.h"
#include "asn1/codecs/value_parser.h"
#include "asn1/coder_env.h"

namespace ASN1 {

namespace {

bool EncodeBerInto(const AbstractData& value, std::vector<char>& octets) {
    BEREncoder encoder(octets);
    return value.accept(encoder);
}

bool DecodeBerFrom(const char* begin, const char* end, AbstractData& value, CoderEnv* env,
                   DecodeFailure* failure) {
    return decodeBER(begin, end, value, env, failure);
}

bool DecodeAvnFrom(const char* begin, const char* end, AbstractData& value) {
    return decodeAVN(begin, end, value);
}

constexpr CodecTable kCodecs = {&EncodeBerInto, &DecodeBerFrom, &DecodeAvnFrom};

}  // namespace

const CodecTable& codecTable() {
    return kCodecs;
}

const CodecTable* installCodecs() {
    return CoderEnv::set_codecs(&kCodecs);
}

}  // namespace ASN1
