#pragma once

#include <QWidget>

#include "app/frm_splash.h"

namespace quorvel::ui {

// The borderless splash: the program's picture with a line that tells which
// of its two panels shows.
class SplashWindow : public QWidget {
public:
    explicit SplashWindow(TfrmSplash& form);
    ~SplashWindow() override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void sync();
    TfrmSplash* form_;
    bool secondPanel_ = false;
};

}  // namespace quorvel::ui
