#pragma once

#include <QString>
#include <string>

namespace quorvel::ui {

// The core's bytes as text: UTF-8 when they are valid UTF-8, Windows-1252
// otherwise (the mail of older programs).
QString fromBytes(const std::string& bytes);

// Bytes written in a declared character set (a MIME "charset" name, any
// case): UTF-8, US-ASCII, ISO-8859-1 (read as its superset Windows-1252),
// or any other the toolkit knows. An empty, unknown or wrongly declared set
// falls back to fromBytes.
QString fromCharSet(const std::string& bytes, const std::string& charSet);

// The user's input for the core: UTF-8.
std::string toBytes(const QString& text);

}  // namespace quorvel::ui
