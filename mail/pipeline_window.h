#pragma once

#include <algorithm>
#include <cstddef>
#include <deque>

namespace quorvel {

// How many messages' commands may go out ahead of their replies. It starts
// small, so that a server that answers slowly or not at all is asked little,
// and grows by one message for each message answered: while the replies keep
// pace it doubles every round trip, so a listing of any size costs a handful
// of round trips plus its transfer.
class TmsPipelineWindow {
public:
    // As many as the fixed window of earlier versions asked at once.
    static constexpr int kFirstMessages = 64;
    // The server answers in order and stops reading while its answers wait to
    // be read, so what it holds for us is bounded by the socket buffers; this
    // only bounds what one session may ask of it at once.
    static constexpr int kMaxMessages = 1024;
    // A send must never wait for the server to read, or the single thread
    // would stop reading the answers the server waits to write: the commands
    // outstanding fit in the send buffer a socket starts with (16 KiB on
    // Linux) even if the server read none of them, and far below the receive
    // buffer a peer keeps. This is the cap that binds for LIST and TOP of
    // numbers of three or more digits (some 700 messages) and for DELE's
    // checks (UIDL, LIST, TOP: some 470).
    static constexpr std::size_t kMaxCommandOctets = 16 << 10;

    // Whether a message whose commands take `octets` may go out now. One
    // message always may when nothing is outstanding.
    bool mayAdd(std::size_t octets) const {
        return outstanding_.empty() ||
               (static_cast<int>(outstanding_.size()) < size_ && octets_ + octets <= kMaxCommandOctets);
    }
    // Refilled once half the window was answered: fewer, larger writes.
    bool wantsRefill() const { return static_cast<int>(outstanding_.size()) * 2 <= size_; }
    void sent(std::size_t octets) {
        outstanding_.push_back(octets);
        octets_ += octets;
    }
    // The oldest outstanding message's replies were read.
    void answered() {
        if (outstanding_.empty()) return;
        octets_ -= outstanding_.front();
        outstanding_.pop_front();
        size_ = std::min(size_ + 1, kMaxMessages);
    }
    int size() const { return size_; }
    int outstanding() const { return static_cast<int>(outstanding_.size()); }
    std::size_t outstandingOctets() const { return octets_; }

private:
    int size_ = kFirstMessages;
    std::deque<std::size_t> outstanding_;
    std::size_t octets_ = 0;
};

}  // namespace quorvel
