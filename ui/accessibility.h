#pragma once

namespace quorvel::ui {

// What a screen reader is told beyond the toolkit's own answers: a drop-down
// list is named by what it is (its accessible name), not by the entry it
// shows, which it reports as its value. Safe to call more than once.
void installAccessibleNames();

}  // namespace quorvel::ui
