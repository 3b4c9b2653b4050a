#include "ui/message_list_model.h"

#include <QAbstractItemView>
#include <QIcon>
#include <QPixmap>
#include <algorithm>
#include <iterator>

#include "ui/pictures.h"
#include "ui/text.h"

namespace quorvel::ui {

namespace {

// The 15 state pictures, made once and shared by every row.
const QIcon& stateIcon(int mark) {
    static const std::vector<QIcon> icons = [] {
        std::vector<QIcon> all;
        for (int i = 0; i <= Mark::LastException; ++i) all.push_back(drawnIcon(QString("B%1").arg(i)));
        return all;
    }();
    static const QIcon none;
    return mark >= 0 && mark < static_cast<int>(icons.size()) ? icons[static_cast<std::size_t>(mark)] : none;
}

}  // namespace

QString markName(int mark) {
    switch (mark) {
        case Mark::None: return {};
        case Mark::Delete: return "Marked for deletion";
        case Mark::Question: return "Question";
        case Mark::KnownSpammer: return "Known spammer";
        default: return QString("Exception: picture %1").arg(mark);
    }
}

MessageListModel::MessageListModel(MessageList& list, QObject* parent)
    : QAbstractTableModel(parent), list_(list), generation_(list.generation) {
    for (const MessageRow& row : list_.rows) shown_.push_back({row.stateIndex, false});
}

int MessageListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(shown_.size());
}

int MessageListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(std::size(MessageList::kColumns));
}

QVariant MessageListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= static_cast<int>(shown_.size()) ||
        index.row() >= static_cast<int>(list_.rows.size()))
        return {};
    const MessageRow& row = list_.rows[static_cast<std::size_t>(index.row())];
    switch (role) {
        case Qt::DisplayRole:
            switch (index.column()) {
                case 0: return fromBytes(row.subjectShown());
                case 1: return fromBytes(row.senderShown());
                case 2: return fromBytes(row.size);
                case 3: return fromBytes(row.date);
            }
            return {};
        case Qt::DecorationRole:
            if (index.column() == 0) return stateIcon(shown_[static_cast<std::size_t>(index.row())].mark);
            return {};
        // The mark is a picture: a screen reader and the tooltip say it in words.
        case Qt::ToolTipRole:
        case Qt::AccessibleTextRole: {
            if (index.column() != 0) return {};
            const QString mark = markName(shown_[static_cast<std::size_t>(index.row())].mark);
            if (mark.isEmpty()) return {};
            if (role == Qt::ToolTipRole) return mark;
            return mark + ", " + fromBytes(row.subjectShown());
        }
        case Qt::TextAlignmentRole:
            if (index.column() == 2) return QVariant::fromValue(Qt::Alignment(Qt::AlignRight | Qt::AlignVCenter));
            return {};
        default: return {};
    }
}

QVariant MessageListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= columnCount()) return {};
    if (role == Qt::DisplayRole) return QString(MessageList::kColumns[section]);
    if (role == Qt::TextAlignmentRole && section == 2)
        return QVariant::fromValue(Qt::Alignment(Qt::AlignRight | Qt::AlignVCenter));
    return {};
}

Qt::ItemFlags MessageListModel::flags(const QModelIndex& index) const {
    // Never editable: the list refuses every in-place edit.
    return index.isValid() ? Qt::ItemIsSelectable | Qt::ItemIsEnabled : Qt::NoItemFlags;
}

std::pair<QItemSelection, QItemSelection> MessageListModel::sync() {
    syncRows();
    return syncMarks();
}

void MessageListModel::syncRows() {
    const auto& rows = list_.rows;
    if (generation_ != list_.generation || rows.size() < shown_.size()) {
        // Rows were removed: whatever came since is new.
        beginResetModel();
        generation_ = list_.generation;
        shown_.clear();
        for (const MessageRow& row : rows) shown_.push_back({row.stateIndex, false});
        endResetModel();
    } else if (rows.size() > shown_.size()) {
        beginInsertRows({}, static_cast<int>(shown_.size()), static_cast<int>(rows.size()) - 1);
        for (std::size_t i = shown_.size(); i < rows.size(); ++i) shown_.push_back({rows[i].stateIndex, false});
        endInsertRows();
    }
}

std::pair<QItemSelection, QItemSelection> MessageListModel::syncMarks() {
    const auto& rows = list_.rows;
    // Marks and selection: the view hears of each run of changed rows.
    std::pair<QItemSelection, QItemSelection> selection;
    const int lastColumn = columnCount() - 1;
    int runStart = -1;
    const auto endRun = [&](int end) {
        if (runStart >= 0) emit dataChanged(index(runStart, 0), index(end - 1, 0),
                                         {Qt::DecorationRole, Qt::ToolTipRole, Qt::AccessibleTextRole});
        runStart = -1;
    };
    // Rows not yet counted by syncRows() are not the view's yet.
    const std::size_t count = std::min(rows.size(), shown_.size());
    for (std::size_t i = 0; i < count; ++i) {
        Shown& shown = shown_[i];
        const int r = static_cast<int>(i);
        if (shown.mark != rows[i].stateIndex) {
            shown.mark = rows[i].stateIndex;
            if (runStart < 0) runStart = r;
        } else if (runStart >= 0) {
            endRun(r);
        }
        if (shown.selected != rows[i].selected) {
            shown.selected = rows[i].selected;
            (shown.selected ? selection.first : selection.second).select(index(r, 0), index(r, lastColumn));
        }
    }
    endRun(static_cast<int>(count));
    return selection;
}

void MessageListModel::takeSelection(const QItemSelection& selected, const QItemSelection& deselected) {
    for (const auto& [ranges, on] : {std::pair{&selected, true}, std::pair{&deselected, false}})
        for (const QItemSelectionRange& range : *ranges)
            for (int r = range.top(); r <= range.bottom(); ++r)
                if (r < static_cast<int>(list_.rows.size()) && r < static_cast<int>(shown_.size())) {
                    list_.rows[static_cast<std::size_t>(r)].selected = on;
                    shown_[static_cast<std::size_t>(r)].selected = on;
                }
}

void MessageListDelegate::initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const {
    QStyledItemDelegate::initStyleOption(option, index);
    if (index.column() != 0 || !option->icon.isNull()) return;
    static const QIcon blank = [] {
        QPixmap pixmap(16, 16);
        pixmap.fill(Qt::transparent);
        return QIcon(pixmap);
    }();
    option->features |= QStyleOptionViewItem::HasDecoration;
    option->icon = blank;
    if (const auto* view = qobject_cast<const QAbstractItemView*>(option->widget))
        option->decorationSize = view->iconSize();
}

}  // namespace quorvel::ui
