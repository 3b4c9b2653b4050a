#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace quorvel {

// The raw header lines of one message in arrival order, one element per
// physical line; folded continuation lines keep their leading blank.
using TmsHeaders = std::vector<std::string>;

// One waiting message of the last listing. Record index i is message i+1 on
// the server.
struct TmsRemoteInfoItem {
    static constexpr std::uint8_t RetrieveMark = 1;  // bit 0
    static constexpr std::uint8_t DeleteMark = 2;    // bit 1

    std::uint8_t marks = 0;  // set by the owner, read when marks are processed
    std::int32_t Size = 0;   // octets, from the LIST answer
    TmsHeaders Headers;      // header lines from the TOP answer, cut at the first empty line
    std::string UIDL;        // the server's unique id: filled for verification, and by a listing
                             // that used unique ids (with a listing cache); empty otherwise

    bool retrieveMarked() const { return marks & RetrieveMark; }
    bool deleteMarked() const { return marks & DeleteMark; }
};

// The message records of the last listing; owns them.
class TmsRemoteInfo {
public:
    int Count() const { return static_cast<int>(items_.size()); }
    TmsRemoteInfoItem& Items(int index) { return *items_.at(static_cast<std::size_t>(index)); }
    const TmsRemoteInfoItem& Items(int index) const { return *items_.at(static_cast<std::size_t>(index)); }
    void Add(std::unique_ptr<TmsRemoteInfoItem> item) { items_.push_back(std::move(item)); }
    // Frees every record, last first.
    void Clear() {
        while (!items_.empty()) items_.pop_back();
    }

private:
    std::vector<std::unique_ptr<TmsRemoteInfoItem>> items_;
};

}  // namespace quorvel
