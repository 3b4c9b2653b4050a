#pragma once

#include <string>
#include <vector>

namespace quorvel {

// Marks of a message row; the value is also the index of the row's picture.
namespace Mark {
constexpr int None = -1;
constexpr int Delete = 0;
constexpr int Question = 1;
constexpr int KnownSpammer = 2;
constexpr int FirstException = 3;
constexpr int LastException = 14;
}  // namespace Mark

// One row of the message list. Row i belongs to record i of the POP3 client
// and to message i+1 on the server; nothing else ties them together.
struct MessageRow {
    std::string caption;  // Subject
    std::string sender;   // the bare address of From
    std::string size;     // octets, decimal
    std::string date;
    int stateIndex = Mark::None;
    bool selected = false;
};

struct MessageList {
    static constexpr const char* kColumns[] = {"Subject", "Sender", "Size", "Date"};
    std::vector<MessageRow> rows;
};

}  // namespace quorvel
