#pragma once

#include <QAbstractTableModel>
#include <QItemSelection>
#include <QStyledItemDelegate>
#include <cstdint>
#include <utility>
#include <vector>

#include "app/message_list.h"

namespace quorvel::ui {

// A mark in words ("Marked for deletion" ...); empty for no mark.
QString markName(int mark);

// The message list's rows as a table for the view. The rows live in the
// core; sync() tells the view what changed since the last call (rows added,
// marks or selection changed, the list emptied), so a change costs the view
// one row, not ten thousand.
class MessageListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit MessageListModel(MessageList& list, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // Brings the view up to the rows; returns the rows whose selection the
    // core changed: first those to select, then those to deselect.
    std::pair<QItemSelection, QItemSelection> sync();
    // The two halves of sync(): rows added or removed (costs the new rows),
    // then marks and selection (costs a look at every row).
    void syncRows();
    std::pair<QItemSelection, QItemSelection> syncMarks();
    // The view's selection, written back into the rows.
    void takeSelection(const QItemSelection& selected, const QItemSelection& deselected);

private:
    struct Shown {
        int mark;
        bool selected;
    };
    MessageList& list_;
    std::vector<Shown> shown_;  // what the view was last told
    std::uint64_t generation_ = 0;
};

// Gives rows without a mark the mark's room too, so the subjects line up.
class MessageListDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;
};

}  // namespace quorvel::ui
