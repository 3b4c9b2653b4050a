// The DNS response parser on arbitrary datagrams: it must end with a result
// or EResolverError, never read outside the datagram or loop.
#include <cstddef>
#include <cstdint>
#include <string>

#include "mail/dns_message.h"
#include "mail/mail_errors.h"

using namespace quorvel;

namespace {

const std::string& ourQuestion() {
    static const std::string question = [] {
        std::string q = "example.test";
        encodeQuestion(q);
        return q;
    }();
    return question;
}

void check(bool condition) {
    if (!condition) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);

    // As the answer to our query, with whatever ID it carries.
    const std::uint16_t id = size >= 2 ? static_cast<std::uint16_t>(data[0] << 8 | data[1]) : 0;
    // Whether it is taken as the answer at all; whatever is taken must be
    // what the parser reads as ours, not "another ID".
    const bool answers = answersQuery(input, id, ourQuestion());
    TMXList list;
    try {
        parseResponse(input, id, ourQuestion(), list);
        check(answers);
        list.Sort();
        for (int i = 0; i < list.Count(); ++i) {
            check(list.Items(i).Exchange.size() <= 254);
            if (i > 0) check(list.Items(i - 1).Preference <= list.Items(i).Preference);
        }
    } catch (const EResolverError& e) {
        if (answers) check(std::string(e.what()) != "IDs in the query and response are different");
    }

    // Names at the first offsets, as the answers' names would be read.
    for (std::size_t start = 12; start < size && start < 76; ++start) {
        std::size_t pos = start;
        try {
            const std::string name = readName(input, pos);
            check(pos > start && pos <= size && name.size() <= 254);
        } catch (const EResolverError&) {
        }
    }

    // The same bytes as a domain: an accepted one reads back as itself.
    std::string question = input;
    try {
        encodeQuestion(question);
        std::size_t pos = 0;
        check(readName(question, pos) == input + "." && pos + 4 == question.size());
    } catch (const EResolverError&) {
    }
    return 0;
}
