#pragma once

#include <random>
#include <string>

#include "platform/convert.h"

namespace quorvel {

enum class TActionType { atEncryption, atDecryption };

// Keeps stored passwords out of plain text. Enciphering writes a random first
// byte and then each character chained to the one before, as upper-case
// hexadecimal pairs: n characters become 2 + 2n digits, and the same text
// enciphers differently each time.
class TPasswordCipher {
public:
    TPasswordCipher();

    std::string Input;
    std::string Output;
    std::string Key;
    TActionType Action = TActionType::atEncryption;

    // Runs `Action` on `Input` into `Output`. An empty `Input` gives "".
    // Deciphering text that is not hexadecimal pairs throws EConvertError.
    void Execute();

    // Conveniences for the common calls.
    std::string encipher(const std::string& text);
    std::string decipher(const std::string& text);

private:
    std::string encrypt(const std::string& plain);
    std::string decrypt(const std::string& cipher) const;

    std::mt19937 random_;
    int lastSeed_ = -1;
};

}  // namespace quorvel
