// Feeds arbitrary raw messages to the viewer's decoder. Every input must end
// in a body (possibly with the error notice), never in a crash, a hang or a
// result out of proportion to the input.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

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

    // The raw copy always comes with the notice and one of the decoder's
    // own texts. (A body may quote the notice, so only this way round.)
    const int records = message.Attachments.Count();
    if (records > 0 && message.Attachments.Items(records - 1).FileName == "original.eml" &&
        message.Attachments.Items(records - 1).Data == raw) {
        const std::vector<std::string> body = message.Body.strings();
        require(body.size() >= 3);
        require(body[body.size() - 3] == "The following error has been occured while processing the message:");
        require(body.back() == "The original message will be stored as an attachment");
        const std::string& error = body[body.size() - 2];
        require(error == "Unable to retrieve headers" || error == "Missing required field: Content-Type" ||
                error == "Cannot find closing boundary" || error == "Cannot find boundary" ||
                error == "Error decoding the attachment" || error == "Invalid Character");
    }
    require(message.Body.count() == message.Body.strings().size());
    return 0;
}
