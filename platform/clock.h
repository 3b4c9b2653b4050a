#pragma once

#include "platform/date_time.h"

namespace quorvel {

// The local time and the user's locale. The formats can be changed at run
// time (the program widens the short date to four-digit years at start-up).
class Clock {
public:
    virtual ~Clock() = default;
    virtual TDateTime now() const = 0;
    virtual FormatSettings& formatSettings() = 0;
};

}  // namespace quorvel
