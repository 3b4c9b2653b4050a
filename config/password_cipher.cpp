#include "config/password_cipher.h"

#include <chrono>

namespace quorvel {

namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// Reads the (up to) two characters at `pos` as one hexadecimal number.
int readPair(const std::string& text, std::size_t pos) {
    const std::string pair = pos < text.size() ? text.substr(pos, 2) : std::string();
    int value = 0;
    for (const char c : pair) {
        const int digit = hexValue(c);
        if (digit < 0) throw EConvertError("'$" + pair + "' is not a valid integer value");
        value = value * 16 + digit;
    }
    if (pair.empty()) throw EConvertError("'$' is not a valid integer value");
    return value;
}

void appendHex(std::string& out, int value) {
    static const char* digits = "0123456789ABCDEF";
    out += digits[(value >> 4) & 15];
    out += digits[value & 15];
}

}  // namespace

TPasswordCipher::TPasswordCipher() {
    std::random_device device;
    random_.seed(device() ^ static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count()));
}

void TPasswordCipher::Execute() {
    if (Input.empty()) {
        Output.clear();
        return;
    }
    Output = Action == TActionType::atEncryption ? encrypt(Input) : decrypt(Input);
}

std::string TPasswordCipher::encipher(const std::string& text) {
    Input = text;
    Action = TActionType::atEncryption;
    Execute();
    return Output;
}

std::string TPasswordCipher::decipher(const std::string& text) {
    Input = text;
    Action = TActionType::atDecryption;
    Execute();
    return Output;
}

std::string TPasswordCipher::encrypt(const std::string& plain) {
    // A new first byte each time, never the one drawn last, so that two
    // encipherings of one password always differ.
    std::uniform_int_distribution<int> draw(0, 255);
    int seed = draw(random_);
    while (seed == lastSeed_) seed = draw(random_);
    lastSeed_ = seed;

    std::string out;
    out.reserve(2 + 2 * plain.size());
    appendHex(out, seed);
    int prev = seed;
    std::size_t k = 0;
    for (const unsigned char c : plain) {
        int v = (c + prev) % 255;
        if (!Key.empty()) {
            k = k < Key.size() ? k + 1 : 1;
            v ^= static_cast<unsigned char>(Key[k - 1]);
        }
        appendHex(out, v);
        prev = v;
    }
    return out;
}

std::string TPasswordCipher::decrypt(const std::string& cipher) const {
    int prev = readPair(cipher, 0);
    std::string out;
    std::size_t pos = 2;
    std::size_t k = 0;
    do {
        const int c = readPair(cipher, pos);
        int d = c;
        if (!Key.empty()) {
            k = k < Key.size() ? k + 1 : 1;
            d ^= static_cast<unsigned char>(Key[k - 1]);
        }
        const int p = prev < d ? d - prev : d - prev + 255;
        out += static_cast<char>(p & 0xFF);
        prev = c;
        pos += 2;
    } while (pos < cipher.size());
    return out;
}

}  // namespace quorvel
