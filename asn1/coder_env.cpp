#include "asn1/coder_env.h"

namespace ASN1 {

bool CoderEnv::decode(const char* begin, const char* end, AbstractData& value, bool noEnvironment) {
    decodeFailure_ = DecodeFailure();
    switch (encodingRule_) {
        case per_Aligned: {
            PERDecoder decoder(begin, end, noEnvironment ? nullptr : this, true);
            if (value.accept(decoder)) return true;
            decodeFailure_ = decoder.failure();
            if (!decodeFailure_.failed()) decodeFailure_.reason = "undecodable";
            return false;
        }
        default:
            // Neither a BER decoder nor a value-notation reader is part of this daemon.
            decodeFailure_.reason = "encoding rule not available for decoding";
            return false;
    }
}

bool decode(const char* begin, const char* end, CoderEnv* env, AbstractData& value, bool noEnvironment) {
    return env != nullptr && env->decode(begin, end, value, noEnvironment);
}

}  // namespace ASN1
