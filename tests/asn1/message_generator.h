// Random values of the test module's top type, for round trips against other coders and the
// value-notation reader.
#pragma once

#include <random>
#include <string>

#include "tests/asn1/test_module.h"

namespace TestModule {

class MessageGenerator {
public:
    // Readable values are those the printer writes so that the reader takes them back: no
    // ENUMERATED name directly followed by "," (mode before gain or standby) and no string
    // holding a double quote.
    enum Form { anyValue, readable };

    MessageGenerator(unsigned seed, Form form) : rng_(seed), form_(form) {}

    Message Next() {
        Message msg;
        if (Chance(2)) msg.set_seq(Integer());
        if (Chance(2)) msg.set_slot(Range(0, 1023));
        PDU& pdu = msg.set_pdu();
        if (Chance(2)) {
            Command& command = pdu.select_command();
            switch (Range(0, 2)) {
                case 0:
                    FillParams(command.select_create());
                    break;
                case 1:
                    command.select_destroy();
                    break;
                default:
                    command.select_ping();
                    break;
            }
        } else {
            Response& response = pdu.select_response();
            switch (Range(0, 3)) {
                case 0:
                    response.select_success();
                    break;
                case 1:
                    response.select_error(static_cast<MccType::NamedNumber>(Range(0, 2)));
                    break;
                case 2:
                    response.select_info(Text());
                    break;
                default:
                    response.select_count() = static_cast<unsigned>(Range(0, 255));
                    break;
            }
        }
        return msg;
    }

private:
    bool Chance(int n) { return Range(0, n - 1) == 0; }
    int Range(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }
    int Integer() {
        switch (Range(0, 3)) {
            case 0:
                return Range(-200, 200);
            case 1:
                return Range(-70000, 70000);
            default:
                return static_cast<int>(rng_());
        }
    }
    std::string Text() {
        int length = form_ == anyValue && Chance(8) ? Range(120, 200) : Range(0, 12);
        std::string text;
        for (int i = 0; i < length; ++i) {
            char c = static_cast<char>(Range(form_ == readable ? 1 : 0, 127));
            text.push_back(form_ == readable && c == '"' ? '\'' : c);
        }
        return text;
    }
    void FillParams(Params& params) {
        if (Chance(2)) params.set_name(Text());
        int tones = Range(0, 3);
        for (int i = 0; i < tones; ++i) {
            DualTone tone;
            tone.set_freq1(static_cast<unsigned>(Range(0, 65535)));
            if (Chance(2)) tone.set_freq2(static_cast<unsigned>(Range(0, 65535)));
            params.ref_tones().push_back(tone);
        }
        if (Chance(2)) params.set_level(Range(-128, 127));
        params.set_mode(static_cast<MccType::NamedNumber>(Range(0, 2)));
        if (form_ == readable) return;
        if (Chance(3)) params.set_gain(static_cast<unsigned>(Range(0, 255)));
        // Values of the root only: our extension values have a form of their own.
        if (Chance(3)) params.set_standby(static_cast<StandbyState::NamedNumber>(Range(0, 16)));
    }

    std::mt19937 rng_;
    Form form_;
};

}  // namespace TestModule
