#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace quorvel {

// Reads a message held in memory as lines split at CR, LF or CR LF. A line
// longer than kMaxLine comes back in pieces of kMaxLine octets, so one line
// can never hold more than that. NUL octets are ordinary data.
class TLineStream {
public:
    static constexpr std::size_t kMaxLine = 16384;
    // What ReadLine returns once the data is used up.
    static constexpr std::string_view kSentinel = "\xFF\xFF\xFF\xFF";

    explicit TLineStream(std::string data);

    // Back to the first line.
    void Reset();

    // The next line without its line end, valid as long as this stream. After
    // the last line: kSentinel, with Eof() set from then on.
    std::string_view ReadLine();

    bool Eof() const { return eof_; }
    const std::string& Data() const { return data_; }

private:
    std::string data_;
    std::size_t position_ = 0;
    bool eof_ = false;
};

}  // namespace quorvel
