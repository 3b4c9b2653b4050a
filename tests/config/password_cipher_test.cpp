#include "config/password_cipher.h"

#include <gtest/gtest.h>

namespace quorvel {
namespace {

TPasswordCipher cipher() {
    TPasswordCipher c;
    c.Key = "qiro";
    return c;
}

TEST(PasswordCipher, EnciphersToHexPairsThatDifferEachTime) {
    auto c = cipher();
    for (const std::string password : {"a", "secret", "a much longer password than the key"}) {
        const std::string first = c.encipher(password);
        const std::string second = c.encipher(password);
        EXPECT_EQ(first.size(), 2 + 2 * password.size());
        EXPECT_EQ(first.find_first_not_of("0123456789ABCDEF"), std::string::npos) << first;
        EXPECT_NE(first, second);
        EXPECT_EQ(c.decipher(first), password);
        EXPECT_EQ(c.decipher(second), password);
    }
    EXPECT_EQ(c.encipher(""), "");
    EXPECT_EQ(c.decipher(""), "");
}

TEST(PasswordCipher, EveryByteFrom1To254SurvivesARoundTrip) {
    auto c = cipher();
    std::string all;
    for (int b = 1; b <= 254; ++b) all += static_cast<char>(b);
    for (int run = 0; run < 20; ++run) EXPECT_EQ(c.decipher(c.encipher(all)), all);
    // Another instance with the same key reads it too: the stored form is
    // all that passes between the two windows.
    auto other = cipher();
    EXPECT_EQ(other.decipher(c.encipher(all)), all);
}

TEST(PasswordCipher, FollowsTheChainedFormula) {
    // First byte 0x10, then 'A' (65): (65 + 16) mod 255 = 81 = 0x51, xor 'q' (0x71) = 0x20.
    auto c = cipher();
    EXPECT_EQ(c.decipher("1020"), "A");
    EXPECT_EQ(c.decipher("1020" /* lower case reads too */), c.decipher("1020"));
    EXPECT_EQ(c.decipher("ff2e"), c.decipher("FF2E"));
}

TEST(PasswordCipher, TextThatIsNotHexPairsIsAConversionError) {
    auto c = cipher();
    struct Case {
        const char* input;
        const char* message;
    } cases[] = {
        {"1G20", "'$1G' is not a valid integer value"},
        {"10ZZ", "'$ZZ' is not a valid integer value"},
        {"10", "'$' is not a valid integer value"},  // a stored password of two characters
        {"A", "'$' is not a valid integer value"},   // ... or one
        {"10-1", "'$-1' is not a valid integer value"},
    };
    for (const auto& k : cases) {
        try {
            c.decipher(k.input);
            ADD_FAILURE() << k.input << " deciphered";
        } catch (const EConvertError& e) {
            EXPECT_STREQ(e.what(), k.message) << k.input;
        }
    }
}

}  // namespace
}  // namespace quorvel
