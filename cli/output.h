#pragma once

#include <string>
#include <string_view>

namespace quorvel::cli {

// Text from outside (subjects, senders, bodies) as UTF-8: kept when it is
// valid UTF-8, else read as Windows-1252, as the window shows it.
std::string toUtf8(std::string_view bytes);

// One line of plain text: control characters (C0, DEL and C1, escape
// sequences included) and the bidirectional and separator format
// characters become '?', tabs and line breaks spaces, so a
// message can neither split a line nor drive the terminal.
std::string plainLine(std::string_view bytes);

// A JSON string, quotes included, from bytes turned into UTF-8 by toUtf8.
std::string jsonString(std::string_view bytes);

}  // namespace quorvel::cli
