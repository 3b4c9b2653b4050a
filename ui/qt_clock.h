#pragma once

#include <QString>
#include <string>

#include "platform/clock.h"

namespace quorvel::ui {

// The local time, and the user's locale turned into the program's formats.
// Needs only the toolkit's core, so the headless quorvel-check writes the
// same log timestamps as the window.
class QtClock : public Clock {
public:
    QtClock();
    TDateTime now() const override;
    FormatSettings& formatSettings() override { return settings_; }

private:
    FormatSettings settings_;
};

// Converts a date or time format of the toolkit to the program's specifiers.
std::string toProgramFormat(const QString& qtFormat);

}  // namespace quorvel::ui
