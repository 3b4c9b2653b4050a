#include "mail/reply_buffer.h"

#include <algorithm>
#include <cstring>

namespace quorvel {

namespace {

constexpr std::size_t kCompactAt = 16384;

}  // namespace

char* TReplyBuffer::reserve(std::size_t size) {
    if (empty()) {
        data_.clear();
        pos_ = 0;
    } else if (pos_ >= kCompactAt) {
        data_.erase(0, pos_);
        pos_ = 0;
    }
    const std::size_t old = data_.size();
    data_.resize(old + size);
    reserved_ = size;
    return data_.data() + old;
}

void TReplyBuffer::commit(std::size_t received) {
    // reserve() made room at the end; keep what arrived of it.
    data_.resize(data_.size() - reserved_ + std::min(received, reserved_));
    reserved_ = 0;
}

void TReplyBuffer::clear() {
    data_.clear();
    pos_ = 0;
    reserved_ = 0;
}

bool TReplyBuffer::takeLine(std::string& line) {
    const char* begin = data_.data() + pos_;
    const std::size_t available = data_.size() - pos_;
    const void* lf = std::memchr(begin, '\n', available);
    const std::size_t chunk = lf ? static_cast<std::size_t>(static_cast<const char*>(lf) - begin) + 1 : available;
    if (line.size() < kMaxLine) line.append(begin, std::min(chunk, kMaxLine - line.size()));
    pos_ += chunk;
    return lf != nullptr;
}

std::string TReplyBuffer::finishLine(const std::string& raw) {
    std::string line = raw.substr(0, raw.find('\0'));
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
    return line;
}

void TReplyBuffer::startAnswer() {
    state_ = State::LineStart;
    last_ = '\n';
}

std::size_t TReplyBuffer::scan(const char* data, std::size_t size) {
    std::size_t i = 0;
    while (i < size) {
        switch (state_) {
        case State::MidLine: {
            const void* lf = std::memchr(data + i, '\n', size - i);
            if (!lf) {
                last_ = data[size - 1];
                return std::string::npos;
            }
            const std::size_t at = static_cast<std::size_t>(static_cast<const char*>(lf) - data);
            const char before = at > 0 ? data[at - 1] : last_;
            state_ = before == '\r' ? State::LineStart : State::MidLine;
            i = at + 1;
            continue;
        }
        case State::LineStart:
            if (data[i] != '.') {
                state_ = State::MidLine;
                continue;  // the octet is looked at again as part of a line
            }
            state_ = State::Dot;
            break;
        case State::Dot:
            if (data[i] != '\r') {
                state_ = State::MidLine;
                continue;
            }
            state_ = State::DotCr;
            break;
        case State::DotCr:
            if (data[i] == '\n') return i + 1;
            state_ = State::MidLine;
            continue;
        }
        ++i;
    }
    last_ = data[size - 1];
    return std::string::npos;
}

TReplyBuffer::Answer TReplyBuffer::takeAnswer(std::string& stream, std::size_t answerStart, std::size_t maxSize) {
    const std::size_t available = data_.size() - pos_;
    if (available == 0) return Answer::More;
    const std::size_t taken = scan(data_.data() + pos_, available);
    const std::size_t length = taken == std::string::npos ? available : taken;
    stream.append(data_, pos_, length);
    pos_ += length;
    // The bound holds for a whole answer too, however it arrived.
    if (stream.size() - answerStart > maxSize) return Answer::TooLarge;
    return taken != std::string::npos ? Answer::Complete : Answer::More;
}

}  // namespace quorvel
