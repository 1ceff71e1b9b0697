// The round trip every generated sample goes through: encode, decode into a value built from
// the record alone, compare by value and through every accessor, encode again, copy and print.
#pragma once

#include <gtest/gtest.h>

#include <iterator>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "asn1/coder_env.h"
#include "asn1/printer.h"

namespace Samples {

template <class T>
void RoundTrip(unsigned variants) {
    for (unsigned variant = 0; variant < variants; ++variant) {
        SCOPED_TRACE(::testing::Message() << "variant " << variant);
        T built;
        Fill(built, variant);

        ASN1::CoderEnv env;
        env.set_encodingRule(ASN1::CoderEnv::per_Aligned);
        std::vector<char> bytes;
        ASSERT_TRUE(ASN1::encode(built, env, std::back_inserter(bytes)));

        T decoded;
        ASSERT_TRUE(ASN1::decode(bytes.data(), bytes.data() + bytes.size(), &env, decoded, true))
            << ASN1::asValueNotation(built);
        EXPECT_TRUE(decoded == built) << ASN1::asValueNotation(decoded) << "\n"
                                      << ASN1::asValueNotation(built);
        Check(built, decoded);

        std::vector<char> again;
        ASSERT_TRUE(ASN1::encode(decoded, env, std::back_inserter(again)));
        EXPECT_EQ(again, bytes);

        T copy(decoded);
        EXPECT_TRUE(copy == built);
        Check(built, copy);

        std::ostringstream text;
        EXPECT_EQ(ASN1::print_on(text, decoded), std::ios_base::goodbit);
        EXPECT_FALSE(text.str().empty());
        EXPECT_EQ(text.str(), ASN1::asValueNotation(built));
    }
}

// One line per variant: module, type and the encoding in hexadecimal; a sample that does not
// encode is written with "-" so that the reader notices it.
template <class T>
void Dump(std::ostream& os, const char* module, const char* type, unsigned variants) {
    static const char digits[] = "0123456789ABCDEF";
    for (unsigned variant = 0; variant < variants; ++variant) {
        T value;
        Fill(value, variant);
        ASN1::CoderEnv env;
        env.set_encodingRule(ASN1::CoderEnv::per_Aligned);
        std::vector<char> bytes;
        os << module << ' ' << type << ' ';
        if (!ASN1::encode(value, env, std::back_inserter(bytes))) {
            os << "-\n";
            continue;
        }
        for (char c : bytes) {
            auto b = static_cast<unsigned char>(c);
            os << digits[b >> 4] << digits[b & 15];
        }
        os << '\n';
    }
}

}  // namespace Samples
