#include "mail/line_stream.h"

#include <algorithm>
#include <cstring>

namespace quorvel {

TLineStream::TLineStream(std::string data) : data_(std::move(data)) {}

void TLineStream::Reset() {
    position_ = 0;
    eof_ = false;
}

std::string_view TLineStream::ReadLine() {
    if (position_ >= data_.size()) {
        eof_ = true;
        return kSentinel;
    }
    const char* begin = data_.data() + position_;
    const std::size_t available = std::min(data_.size() - position_, kMaxLine);
    // Two memchr scans, the second bounded by the first: the line ends at
    // the first CR or LF, whichever comes first.
    std::size_t length = available;
    if (const void* lf = std::memchr(begin, '\n', available)) length = static_cast<const char*>(lf) - begin;
    if (const void* cr = std::memchr(begin, '\r', length)) length = static_cast<const char*>(cr) - begin;

    position_ += length;
    // The line end after a piece of a long line belongs to that piece, so a
    // cut never leaves an empty line behind.
    if (position_ < data_.size()) {
        if (data_[position_] == '\r') {
            ++position_;
            if (position_ < data_.size() && data_[position_] == '\n') ++position_;
        } else if (data_[position_] == '\n') {
            ++position_;
        }
    }
    return std::string_view(begin, length);
}

}  // namespace quorvel
