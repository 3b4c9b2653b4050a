#pragma once

#include <cstddef>
#include <string>

namespace quorvel {

// The octets a server sent that the client has not taken yet, taken out as
// reply lines and multi-line answers. Knows nothing of sockets, so any way of
// cutting the stream into reads gives the same lines and answers.
class TReplyBuffer {
public:
    static constexpr std::size_t kMaxLine = 1024;  // longer reply lines are cut

    enum class Answer { More, Complete, TooLarge };

    // Room for `size` more octets at the end; `commit` says how many arrived.
    char* reserve(std::size_t size);
    void commit(std::size_t received);

    bool empty() const { return pos_ == data_.size(); }
    void clear();

    // Moves octets up to and including a LF into `line`, keeping at most
    // kMaxLine of them (the rest of an overlong line is dropped). True when
    // the LF was among them; otherwise call again after more octets arrive.
    bool takeLine(std::string& line);
    // A complete line without its line end, cut at a NUL.
    static std::string finishLine(const std::string& raw);

    // Starts a multi-line answer at the current position (after its status line).
    void startAnswer();
    // Appends the answer's buffered octets to `stream`, the end line included
    // when it is among them (Complete). TooLarge once the answer holds more
    // than `maxSize` octets; the octets after the end stay buffered.
    Answer takeAnswer(std::string& stream, std::size_t answerStart, std::size_t maxSize);

private:
    // Where the answer's end line can be: only CR LF "." CR LF ends an answer.
    // Lines ended by a bare LF are data, so a "." line after one is too.
    enum class State { MidLine, LineStart, Dot, DotCr };
    // How many of the octets belong to the answer, or npos when all do.
    std::size_t scan(const char* data, std::size_t size);

    std::string data_;
    std::size_t pos_ = 0;
    std::size_t reserved_ = 0;
    State state_ = State::LineStart;
    char last_ = '\n';  // the octet before the scan position
};

}  // namespace quorvel
