#pragma once

#include <QString>
#include <string>

namespace quorvel::ui {

// The core's bytes as text: UTF-8 when they are valid UTF-8, Windows-1252
// otherwise (the mail of older programs).
QString fromBytes(const std::string& bytes);

// The user's input for the core: UTF-8.
std::string toBytes(const QString& text);

}  // namespace quorvel::ui
