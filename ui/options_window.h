#pragma once

#include <QDialog>
#include <array>
#include <functional>
#include <string>
#include <vector>

#include "config/frm_options_main.h"
#include "ui/control_binder.h"
#include "ui/rule_table_model.h"

class QPlainTextEdit;
class QProgressBar;
class QTabWidget;
class QTableView;

namespace quorvel::ui {

// "Spam Settings": draws TfrmOptionsMain and forwards the user's input to it;
// decides nothing itself. Each widget carries its control's name; the four
// tables are views over the live rule tables.
class OptionsWindow : public QDialog {
    Q_OBJECT
public:
    explicit OptionsWindow(TfrmOptionsMain& form, QWidget* parent = nullptr);
    ~OptionsWindow() override;

    // Shows the form modally, as the program's modal-window request does.
    static int showModal(Form& form);

    // Redraws every control and table from the form's state.
    void sync();
    QTabWidget* pages() const { return pages_; }
    QTableView* view(RuleGrid::Id id) const { return views_[static_cast<std::size_t>(id)]; }
    RuleTableModel* model(RuleGrid::Id id) const { return models_[static_cast<std::size_t>(id)]; }
    QPlainTextEdit* memo() const { return memo_; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* tablePage(RuleGrid& grid, Control& note, const std::vector<std::pair<Control*, std::function<void()>>>& buttons);
    QWidget* sizePage();
    QWidget* blackListPage();
    QWidget* validPage();
    QWidget* learningPage();
    void syncTables();
    void syncMemo();
    // The editor's text goes to the form before a command that reads it.
    void takeMemoText();
    void okClicked();
    void cancelClicked();

    TfrmOptionsMain& form_;
    ControlBinder binder_;
    QTabWidget* pages_ = nullptr;
    std::array<QTableView*, 4> views_{};
    std::array<RuleTableModel*, 4> models_{};
    QPlainTextEdit* memo_ = nullptr;
    QProgressBar* learningProgress_ = nullptr;
    QWidget* learningCancel_ = nullptr;
    std::string shownMemo_;
    std::uint64_t shownOpened_ = 0;
    bool memoShown_ = false;
    bool syncing_ = false;
};

}  // namespace quorvel::ui
