#include "asn1/coder_env.h"

namespace ASN1 {

const CodecTable* CoderEnv::codecs_ = nullptr;

const CodecTable* CoderEnv::set_codecs(const CodecTable* table) {
    const CodecTable* old = codecs_;
    codecs_ = table;
    return old;
}

bool CoderEnv::decode(const char* begin, const char* end, AbstractData& value, bool noEnvironment) {
    decodeFailure_ = DecodeFailure();
    switch (encodingRule_) {
        case per_Aligned: {
            PERDecoder decoder(begin, end, noEnvironment ? nullptr : this, true);
            if (value.accept(decoder)) return true;
            decodeFailure_ = decoder.failure();
            break;
        }
        case ber:
            if (codecs_ == nullptr || codecs_->decodeBER == nullptr) {
                decodeFailure_.reason = "no BER decoder installed";
                return false;
            }
            if (codecs_->decodeBER(begin, end, value, noEnvironment ? nullptr : this, &decodeFailure_))
                return true;
            break;
        case avn:
            if (codecs_ == nullptr || codecs_->decodeAVN == nullptr) {
                decodeFailure_.reason = "no value-notation reader installed";
                return false;
            }
            // The reader never gets an environment, whatever the caller asked for.
            if (codecs_->decodeAVN(begin, end, value)) return true;
            break;
        default:
            decodeFailure_.reason = "unknown encoding rule";
            return false;
    }
    if (!decodeFailure_.failed()) decodeFailure_.reason = "undecodable";
    return false;
}

bool decode(const char* begin, const char* end, CoderEnv* env, AbstractData& value, bool noEnvironment) {
    return env != nullptr && env->decode(begin, end, value, noEnvironment);
}

}  // namespace ASN1
