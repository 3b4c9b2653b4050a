#pragma once

#include <QAbstractTableModel>
#include <QFont>
#include <cstdint>

#include "config/frm_options_main.h"

namespace quorvel::ui {

// One rule table of the spam settings as a table for the view: model row i
// is rule row i + 1. The rules live in the core; sync() tells the view what
// changed since the last call (a row written, inserted, removed or moved), as
// the table's journal reports it, and starts afresh only when the journal no
// longer reaches back (a sort, a reload, a large import).
class RuleTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    RuleTableModel(TfrmOptionsMain& form, RuleGrid& grid, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    // In-place editing goes through the window's logic, which may refuse it.
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

    void sync();
    RuleGrid& grid() const { return grid_; }

    // A cell's text as the table shows it: on one line, control characters
    // as their visible symbols, a very long text cut short.
    static QString oneLine(const std::string& bytes);
    static constexpr std::size_t kShownBytes = 1024;

private:
    void reset();
    TfrmOptionsMain& form_;
    RuleGrid& grid_;
    int shownRows_ = 0;
    std::uint64_t revision_ = 0;
    QFont bold_;
};

}  // namespace quorvel::ui
