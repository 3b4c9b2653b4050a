#pragma once

#include <QRect>
#include <QString>

class QWidget;

namespace quorvel::ui {

// The program's help viewer: one window showing the help file, opened at a
// topic (an anchor of the same number).
class HelpViewer {
public:
    // False when the help file cannot be read.
    static bool show(const QString& helpFile, int topic);
    // The viewer's window while it is open.
    static QWidget* window();
    // `frame` moved, and shrunk where it must be, to lie within `available`.
    static QRect fitWithin(const QRect& frame, const QRect& available);
};

}  // namespace quorvel::ui
