#pragma once

#include <algorithm>
#include <cstddef>
#include <deque>

namespace quorvel {

// How many messages' commands may go out ahead of their replies. It starts
// small, so that a server that answers slowly or not at all is asked little,
// and doubles each time a whole window's replies arrived, so that a long
// listing over a slow link costs a handful of round trips.
class TmsPipelineWindow {
public:
    static constexpr int kFirstMessages = 4;
    // The server writes every answer owed before it reads on, and those are
    // what it must buffer (a TOP answer holds a whole header): this caps them.
    static constexpr int kMaxMessages = 256;
    // A send must never wait for the server to read, or the single thread
    // would stop reading the answers the server waits to write: the commands
    // outstanding stay far below the receive buffer a peer keeps (tens of
    // kilobytes and more); with DELE's checks (UIDL, LIST, TOP) this is the
    // cap that binds, at some 230 messages.
    static constexpr std::size_t kMaxCommandOctets = 8 << 10;

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
        if (++answeredInWindow_ >= size_) {
            answeredInWindow_ = 0;
            size_ = std::min(2 * size_, kMaxMessages);
        }
    }
    int size() const { return size_; }
    int outstanding() const { return static_cast<int>(outstanding_.size()); }
    std::size_t outstandingOctets() const { return octets_; }

private:
    int size_ = kFirstMessages;
    int answeredInWindow_ = 0;
    std::deque<std::size_t> outstanding_;
    std::size_t octets_ = 0;
};

}  // namespace quorvel
