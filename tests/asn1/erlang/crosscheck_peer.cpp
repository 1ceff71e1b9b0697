// Our side of the cross-check against Erlang's asn1 application.
//
//   crosscheck_peer generate COUNT FILE   writes COUNT generated messages, one per line, as
//                                         {"our octets in hex", exact, erlang term}.
//   crosscheck_peer check COUNT FILE      reads Erlang's encodings of the same messages (hex, one
//                                         per line) and decodes each into an equal value.
//   A last argument "ber" uses the basic encoding rules instead of aligned PER.
//
// `exact` is false where the octets differ on purpose: we send the extension bitmap only up to
// the highest addition present, X.691 coders send one bit per known addition.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "asn1/codecs/ber_decoder.h"
#include "asn1/codecs/ber_encoder.h"
#include "asn1/coder_env.h"
#include "tests/asn1/message_generator.h"
#include "tests/asn1/test_module.h"

using namespace TestModule;

namespace {

constexpr unsigned kSeed = 20011;

const char* kModes[] = {"data", "bri", "transparent"};

// An absent optional field has no value object to read: the text is built only when present.
template <class Text>
std::string Optional(bool present, Text text) {
    return present ? text() : "asn1_NOVALUE";
}

std::string Chars(const std::string& text) {
    std::string out = "[";
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (i > 0) out += ",";
        out += std::to_string(static_cast<unsigned char>(text[i]));
    }
    return out + "]";
}

std::string Term(const Params& params) {
    std::string tones = "[";
    for (auto it = params.get_tones().begin(); it != params.get_tones().end(); ++it) {
        if (tones.size() > 1) tones += ",";
        tones += "{'DualTone'," + std::to_string(it->get_freq1().getValue()) + "," +
                 Optional(it->freq2_isPresent(), [&] { return std::to_string(it->get_freq2().getValue()); }) +
                 "}";
    }
    tones += "]";
    return "{'Params'," + Optional(params.name_isPresent(), [&] { return Chars(params.get_name()); }) + "," +
           tones + "," +
           Optional(
               params.level_isPresent(),
               [&] {
                   return std::to_string(static_cast<const ASN1::INTEGER&>(params.get_level()).getValue());
               }) +
           "," + kModes[params.get_mode().asInt()] + "," +
           Optional(params.gain_isPresent(), [&] { return std::to_string(params.get_gain().getValue()); }) +
           "," +
           Optional(params.standby_isPresent(),
                    [&] { return std::to_string(params.get_standby().asInt()); }) +
           "}";
}

std::string Term(const Message& msg) {
    std::string pdu;
    const PDU& choice = msg.get_pdu();
    if (choice.command_isSelected()) {
        const Command& command = choice.get_command();
        if (command.create_isSelected())
            pdu = "{command,{create," + Term(command.get_create()) + "}}";
        else
            pdu = command.destroy_isSelected() ? "{command,{destroy,'NULL'}}" : "{command,{ping,'NULL'}}";
    } else {
        const Response& response = choice.get_response();
        if (response.success_isSelected())
            pdu = "{response,{success,'NULL'}}";
        else if (response.error_isSelected())
            pdu = std::string("{response,{error,") + kModes[response.get_error().asInt()] + "}}";
        else if (response.info_isSelected())
            pdu = "{response,{info," + Chars(response.get_info()) + "}}";
        else
            pdu = "{response,{count," + std::to_string(response.get_count().getValue()) + "}}";
    }
    return "{'Message'," +
           Optional(msg.seq_isPresent(), [&] { return std::to_string(msg.get_seq().getValue()); }) + "," +
           Optional(msg.slot_isPresent(), [&] { return std::to_string(msg.get_slot().getValue()); }) + "," +
           pdu + "}";
}

bool gBer = false;

bool Exact(const Message& msg) {
    if (gBer) return true;
    if (!msg.get_pdu().command_isSelected() || !msg.get_pdu().get_command().create_isSelected()) return true;
    const Params& params = msg.get_pdu().get_command().get_create();
    return !(params.gain_isPresent() && !params.standby_isPresent());
}

std::string Hex(const std::vector<char>& octets) {
    std::string hex;
    char buf[3];
    for (char c : octets) {
        std::snprintf(buf, sizeof buf, "%02x", static_cast<unsigned char>(c));
        hex += buf;
    }
    return hex;
}

bool FromHex(const std::string& hex, std::vector<char>& octets) {
    if (hex.size() % 2 != 0) return false;
    octets.clear();
    for (std::size_t i = 0; i < hex.size(); i += 2)
        octets.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return true;
}

ASN1::CoderEnv PerEnv() {
    ASN1::CoderEnv env;
    env.set_encodingRule(ASN1::CoderEnv::per_Aligned);
    return env;
}

bool Encode(const Message& msg, std::vector<char>& octets) {
    if (gBer) return ASN1::encodeBER(msg, std::back_inserter(octets));
    ASN1::CoderEnv env = PerEnv();
    return ASN1::encode(msg, &env, std::back_inserter(octets));
}

bool Decode(const std::vector<char>& octets, Message& msg, ASN1::DecodeFailure& failure) {
    if (gBer) return ASN1::decodeBER(octets.data(), octets.data() + octets.size(), msg, nullptr, &failure);
    ASN1::CoderEnv env = PerEnv();
    if (ASN1::decode(octets.data(), octets.data() + octets.size(), &env, msg, true)) return true;
    failure = env.get_decodeFailure();
    return false;
}

int Generate(int count, const char* path) {
    std::ofstream out(path);
    MessageGenerator generator(kSeed, MessageGenerator::anyValue);
    int exact = 0;
    for (int i = 0; i < count; ++i) {
        Message msg = generator.Next();
        std::vector<char> octets;
        if (!Encode(msg, octets)) {
            std::cerr << "value " << i << " does not encode: " << msg << "\n";
            return 1;
        }
        exact += Exact(msg);
        out << "{\"" << Hex(octets) << "\"," << (Exact(msg) ? "true" : "false") << "," << Term(msg) << "}.\n";
    }
    std::cout << count << " values written, " << exact << " compared by octets\n";
    return out ? 0 : 1;
}

int Check(int count, const char* path) {
    std::ifstream in(path);
    MessageGenerator generator(kSeed, MessageGenerator::anyValue);
    int failures = 0;
    std::string line;
    for (int i = 0; i < count; ++i) {
        Message expected = generator.Next();
        std::vector<char> octets;
        if (!std::getline(in, line) || !FromHex(line, octets)) {
            std::cerr << "missing Erlang encoding for value " << i << "\n";
            return 1;
        }
        Message decoded;
        ASN1::DecodeFailure failure;
        if (!Decode(octets, decoded, failure)) {
            std::cerr << "value " << i << ": Erlang's octets " << line << " do not decode (" << failure.reason
                      << " at " << failure.path << ", octet " << failure.offset << ")\n";
            ++failures;
        } else if (decoded != expected) {
            std::cerr << "value " << i << ": Erlang's octets " << line << " decode to " << decoded
                      << "\nnot to " << expected << "\n";
            ++failures;
        }
    }
    std::cout << count << " Erlang encodings decoded, " << failures << " failures\n";
    return failures == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    std::string mode = argc > 1 ? argv[1] : "";
    if (argc == 5 && (std::string(argv[4]) == "ber" || std::string(argv[4]) == "per")) {
        gBer = std::string(argv[4]) == "ber";
        --argc;
    }
    if (mode == "generate" && argc == 4) return Generate(std::stoi(argv[2]), argv[3]);
    if (mode == "check" && argc == 4) return Check(std::stoi(argv[2]), argv[3]);
    std::cerr << "usage: crosscheck_peer generate|check COUNT FILE [ber]\n";
    return 2;
}
