#pragma once

#include "config/rule_table.h"

namespace quorvel {

// How many of the main window's listed messages a rule would mark.
struct MarkCount {
    int marked = 0;
    int listed = 0;
};

// What a rule dialog asks of the message list while a rule is edited. The
// main window answers it with its classification; the dialogs cannot see
// either, as they sit below both.
class MarkPreview {
public:
    virtual ~MarkPreview() = default;
    // `rule` is a table of its kind holding the headings and the one rule
    // being edited. Judging must change no mark and no hit counter.
    virtual MarkCount wouldMark(const RuleTable& rule) = 0;
};

}  // namespace quorvel
