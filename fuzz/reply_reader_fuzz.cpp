// Feeds a server's bytes to the reply reader the way a client reads them: a
// reply line, and after a "+" line a multi-line answer, in pieces of random
// size. Every line and answer must be exactly the bytes a plain search of the
// whole stream finds, however the stream is cut, and an answer never grows
// past its cap without failing. Each whole answer is also read as the answer
// to CAPA, whose list must pass the checks of capa_check.h.
//
// Replies are read back to back as they come in a pipelined window: which
// "+" replies carry an answer follows a pattern (LIST then TOP, UIDL LIST TOP
// then DELE, ...), so single-line replies buffered ahead of an answer and
// answers followed by more replies in the same read are both covered.
//
// Input: one octet seeding the piece sizes, two octets of answer cap (little
// endian), one octet of answer pattern (bit k % 8 set: the k-th reply's "+"
// line is followed by an answer; 0xFF is every "+" reply), then the
// server's bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "capa_check.h"
#include "mail/reply_buffer.h"

using namespace quorvel;

namespace {

void require(bool condition) {
    if (!condition) std::abort();
}

// Where an answer that starts at `from` ends: a "." line right at its start,
// or the first CR LF "." CR LF in it.
std::size_t answerEnd(std::string_view stream, std::size_t from) {
    if (stream.substr(from, 3) == ".\r\n") return from + 3;
    const std::size_t at = stream.find("\r\n.\r\n", from);
    return at == std::string_view::npos ? at : at + 5;
}

class Pieces {
public:
    Pieces(std::string_view stream, std::uint8_t seed) : stream_(stream), state_(seed * 2654435761u + 1) {}

    // Moves the next piece into the buffer; false when the stream is used up.
    bool feed(TReplyBuffer& buffer) {
        if (pos_ == stream_.size()) return false;
        const std::size_t size = std::min<std::size_t>(1 + next() % 97, stream_.size() - pos_);
        // Room beyond what arrives, as a read into a block leaves it.
        char* room = buffer.reserve(size + next() % 64);
        std::memcpy(room, stream_.data() + pos_, size);
        buffer.commit(size);
        pos_ += size;
        return true;
    }

private:
    std::uint32_t next() {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return state_;
    }

    std::string_view stream_;
    std::size_t pos_ = 0;
    std::uint32_t state_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 4) return 0;
    const std::size_t cap = data[1] | std::size_t{data[2]} << 8;
    const unsigned pattern = data[3];
    const std::string_view stream(reinterpret_cast<const char*>(data) + 4, size - 4);
    unsigned replies = 0;
    Pieces pieces(stream, data[0]);
    TReplyBuffer buffer;
    std::size_t offset = 0;  // where the next reply starts in the stream

    for (;;) {
        std::string raw;
        bool complete = false;
        while (!(complete = buffer.takeLine(raw)))
            if (!pieces.feed(buffer)) break;
        if (!complete) {
            // The stream ended inside a line: all of it was taken, up to the cap.
            require(raw == stream.substr(offset, TReplyBuffer::kMaxLine));
            return 0;
        }
        const std::size_t lf = stream.find('\n', offset);
        require(lf != std::string_view::npos);
        require(raw == stream.substr(offset, std::min(lf + 1 - offset, TReplyBuffer::kMaxLine)));
        offset = lf + 1;

        const std::string line = TReplyBuffer::finishLine(raw);
        require(line.size() <= TReplyBuffer::kMaxLine && line.find('\0') == std::string::npos);
        require(line.empty() || (line.back() != '\r' && line.back() != '\n'));
        const bool withAnswer = (pattern >> (replies++ % 8)) & 1u;
        if (line.empty() || line[0] != '+' || !withAnswer) continue;

        buffer.startAnswer();
        const std::size_t end = answerEnd(stream, offset);
        std::string answer;
        for (;;) {
            const TReplyBuffer::Answer result = buffer.takeAnswer(answer, 0, cap);
            if (result == TReplyBuffer::Answer::Complete) {
                require(end != std::string_view::npos && answer == stream.substr(offset, end - offset));
                require(answer.size() <= cap);
                fuzz::checkCapabilities(TmsCapabilities::parse(answer));
                offset = end;
                break;
            }
            // Whatever the answer holds so far is the stream as it came.
            require(answer == stream.substr(offset, answer.size()));
            // The bound holds for a whole answer too.
            if (result == TReplyBuffer::Answer::TooLarge) {
                require(answer.size() > cap);
                return 0;  // the client gives up on the connection here
            }
            require(end == std::string_view::npos || end > offset + answer.size());
            require(answer.size() <= cap);
            if (!pieces.feed(buffer)) {
                require(end == std::string_view::npos && offset + answer.size() == stream.size());
                return 0;
            }
        }
    }
}
