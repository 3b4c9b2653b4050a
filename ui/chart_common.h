#pragma once

#include <QDate>
#include <QPointer>
#include <QWidget>

#include "platform/date_time.h"

// What the three statistics windows share.
namespace quorvel::ui {

// Days since 30 December 1899, as the core counts them.
QDate toQDate(TDateTime value);
TDateTime fromQDate(const QDate& date);

void showWaitCursor(bool wait);

// The active window when it is visible: the owner of a window opened now.
QWidget* visibleActiveWindow();

// The window the launcher was opened from: the chart window stands over it
// (the general settings window stays on top of others), while the launcher
// itself is hidden.
QPointer<QWidget>& launcherParent();

}  // namespace quorvel::ui
