#pragma once

#include <QString>
#include <optional>
#include <string>

namespace quorvel::ui {

// The core's bytes as text: UTF-8 when they are valid UTF-8, Windows-1252
// otherwise (the mail of older programs).
QString fromBytes(const std::string& bytes);

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
