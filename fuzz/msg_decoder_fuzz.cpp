// Feeds arbitrary raw messages to the viewer's decoder. Every input must end
// in a body (possibly with the error notice), never in a crash, a hang or a
// result out of proportion to the input.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "mail/msg_decoder.h"

using namespace quorvel;

namespace {

void require(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string raw(reinterpret_cast<const char*>(data), size);
    TmsMessage message;
    std::size_t pumps = 0;
    message.OnProcessEvents = [&] { ++pumps; };
    message.LoadFromStream(raw);

    require(message.LoadError.empty() || message.LoadError == "Paragraph is too large");
    // Every pump stands for a line read at most twice, or a part.
    require(pumps <= 2 * size + 4);

    std::size_t kept = message.Body.text().size();
    for (int i = 0; i < message.Attachments.Count(); ++i) {
        const TmsAttItem& item = message.Attachments.Items(i);
        require(item.FileName.size() <= 255);
        kept += sizeof(TmsAttItem) + item.Data.size() + item.FileName.size();
    }
    require(kept <= 4 * size + (1 << 20));

    // The notice always comes with the raw message as its last record.
    const bool notice = message.Body.last() == "The original message will be stored as an attachment";
    if (notice) {
        require(message.Attachments.Count() > 0);
        const TmsAttItem& original = message.Attachments.Items(message.Attachments.Count() - 1);
        require(original.FileName == "original.eml" && original.Data == raw);
    }
    require(message.Body.count() == message.Body.strings().size());
    return 0;
}
