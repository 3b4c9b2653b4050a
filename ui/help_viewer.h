#pragma once

#include <QString>

namespace quorvel::ui {

// The program's help viewer: one window showing the help file, opened at a
// topic (an anchor of the same number).
class HelpViewer {
public:
    // False when the help file cannot be read.
    static bool show(const QString& helpFile, int topic);
};

}  // namespace quorvel::ui
