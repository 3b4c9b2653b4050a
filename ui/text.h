#pragma once

#include <QString>
#include <QLabel>
#include <optional>
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

// A label that shows its text as it is: the texts it shows may come from a
// server or a message, and a label left to guess would draw markup in them
// (links, pictures, colours) instead of the characters.
QLabel* plainLabel(QWidget* parent, const QString& text = {});

// Access keys for captions shown together (a toolbar, a menu): for each, the
// first letter that no caption before it took; none when every letter was
// taken or the caption has its own "&".
QList<QChar> accessKeys(const QStringList& captions);
// The caption with "&" before the first `key` letter (either case); as it is
// without a key, or when it already has an access key.
QString withAccessKey(const QString& caption, QChar key);

// The user's input for the core: UTF-8.
std::string toBytes(const QString& text);

// What a widget last drew of a piece of the core's state, so that a redraw
// converts and sets only what changed: the windows are redrawn after every
// step of a run, ten thousand times in a long listing.
template <typename T>
class Drawn {
public:
    // True, and remembered as drawn, when `now` differs from what was drawn.
    bool changed(const T& now) {
        if (shown_ && *shown_ == now) return false;
        shown_ = now;
        return true;
    }
    void forget() { shown_.reset(); }

private:
    std::optional<T> shown_;
};

}  // namespace quorvel::ui
