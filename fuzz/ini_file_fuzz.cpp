// Feeds arbitrary bytes to the INI reader. Writing the spam options into any
// file must leave them readable as written, and leave the file's other values alone.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "config/spam_options.h"

using namespace quorvel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    IniFile ini(bytes);
    const SpamOptions read = readSpamOptions(ini);
    const auto foreign = ini.value("Other", "Key");

    SpamOptions changed = read;
    changed.QSmaller = !read.QSmaller;
    changed.largerNum = read.largerNum ^ 0x55;
    changed.unknownNum = std::string(bytes.substr(0, 16));
    writeSpamOptions(ini, changed);
    const IniFile again(ini.toBytes());
    SpamOptions expected = changed;
    // A value keeps only its first line, and loses surrounding blanks and quotes.
    expected.unknownNum = *IniFile("[K]\r\nN=" + changed.unknownNum.substr(0, changed.unknownNum.find_first_of("\r\n"))).value("K", "N");
    if (readSpamOptions(again) != expected) std::abort();
    if (again.value("Other", "Key") != foreign) std::abort();
    return 0;
}
