#pragma once

#include <QElapsedTimer>
#include <QMainWindow>
#include <QTimer>
#include <QToolButton>
#include <vector>

#include "app/frm_main.h"
#include "ui/message_list_model.h"
#include "ui/text.h"

class QAction;
class QLabel;
class QMenu;
class QToolBar;
class QTreeView;

namespace quorvel::ui {

// A toolbar button that shows its control's picture, and its pointer-over
// picture while the pointer is on it.
class PictureButton : public QToolButton {
public:
    PictureButton(const Control& control, QWidget* parent);
    void sync();
    // Letters the other buttons use as access keys: this one takes the first
    // letter of its caption that is not among them.
    void setTakenKeys(const QString& taken) {
        takenKeys_ = taken;
        drawn_.forget();
        sync();
    }
    QChar accessKey() const;
    // A button on a toolbar is shown and hidden through the toolbar's action.
    void setToolBarAction(QAction* action) {
        toolBarAction_ = action;
        drawn_.forget();
        sync();
    }

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void showPicture(bool hot);
    const Control& control_;
    QString takenKeys_;
    QAction* toolBarAction_ = nullptr;
    Drawn<Control> drawn_;
    std::string shownPicture_;
    bool hot_ = false;
};

// Draws TfrmMain and forwards the user's events to its handlers; decides
// nothing itself.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(TfrmMain& form);
    ~MainWindow() override;

    // Redraws every control from the form's state.
    void sync();
    QMenu* trayMenu() const { return trayMenu_; }
    QTreeView* messageList() const { return list_; }
    MessageListModel* messageListModel() const { return model_; }
    QMenu* listMenu() const { return listMenu_; }
    // True while the program lives in the notification area (minimising hides).
    std::function<bool()> hidesWhenMinimised;

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    PictureButton* addButton(QToolBar* bar, const char* name, Control& control, void (TfrmMain::*handler)());
    int firstWidth(QToolBar* bar) const;
    QAction* addAction(QMenu* menu, Control& control, std::function<void()> handler);
    void buildTrayMenu();
    // Gives the items of `menu` access keys by their captions.
    void giveAccessKeys(QMenu* menu);
    void buildList(QWidget* parent);
    void syncList();
    bool listViewportEvent(QEvent* event);

    TfrmMain& form_;
    std::vector<PictureButton*> buttons_;
    struct MenuItem {
        QAction* action;
        const Control* control;
        Drawn<Control> drawn;
        QChar accessKey = {};
    };
    std::vector<MenuItem> actions_;
    Drawn<std::string> drawnCaption_, drawnTitle_, drawnTrademark_, drawnAd_, drawnStatus_[2];
    QLabel* title_ = nullptr;
    QLabel* trademark_ = nullptr;
    QLabel* ad_ = nullptr;
    QTreeView* list_ = nullptr;
    MessageListModel* model_ = nullptr;
    QMenu* listMenu_ = nullptr;
    bool applyingSelection_ = false;
    // The rows selected when the first click of a double click went down on
    // one of them: that click collapses the selection, the double click
    // stands for all of them.
    std::vector<int> pressedSelection_;
    std::uint64_t pressedGeneration_ = 0;
    QLabel* status_[2] = {nullptr, nullptr};
    QMenu* trayMenu_ = nullptr;
    bool closing_ = false;
    static constexpr int kMarksFrameMs = 40;
    QElapsedTimer marksShown_;
    QTimer marksLater_;
};

}  // namespace quorvel::ui
