#pragma once

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
};

}  // namespace quorvel::ui
