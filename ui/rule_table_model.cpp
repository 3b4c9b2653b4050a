#include "ui/rule_table_model.h"

#include <QApplication>
#include <QBrush>
#include <QIcon>

#include "ui/message_list_model.h"
#include "ui/pictures.h"
#include "ui/text.h"

namespace quorvel::ui {

namespace {

const QIcon& stateIcon(int image) {
    static const std::vector<QIcon> icons = [] {
        std::vector<QIcon> all;
        for (int i = 0; i <= kLastExceptionImage; ++i) all.push_back(drawnIcon(QString("B%1").arg(i)));
        return all;
    }();
    static const QIcon none;
    return image >= 0 && image < static_cast<int>(icons.size()) ? icons[static_cast<std::size_t>(image)] : none;
}

}  // namespace

RuleTableModel::RuleTableModel(TfrmOptionsMain& form, RuleGrid& grid, QObject* parent)
    : QAbstractTableModel(parent), form_(form), grid_(grid), shownRows_(grid.table.ruleCount()),
      revision_(grid.table.revision()), bold_(QApplication::font()) {
    bold_.setBold(true);
}

QString RuleTableModel::oneLine(const std::string& bytes) {
    std::string_view shown(bytes);
    bool cut = false;
    if (shown.size() > kShownBytes) {
        std::size_t end = kShownBytes;
        // Not inside a UTF-8 sequence.
        while (end > 0 && (static_cast<unsigned char>(shown[end]) & 0xC0) == 0x80) --end;
        shown = shown.substr(0, end);
        cut = true;
    }
    QString text = fromBytes(std::string(shown));
    for (QChar& c : text) {
        const char16_t u = c.unicode();
        if (u < 0x20) c = QChar(char16_t(0x2400 + u));  // the Control Pictures block
        else if (u == 0x7F) c = QChar(char16_t(0x2421));
    }
    if (cut) text += QChar(0x2026);
    return text;
}

int RuleTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : shownRows_;
}

int RuleTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : grid_.table.colCount();
}

QVariant RuleTableModel::data(const QModelIndex& index, int role) const {
    const RuleTable& table = grid_.table;
    if (!index.isValid() || index.row() >= shownRows_ || index.row() >= table.ruleCount()) return {};
    const int row = index.row() + 1;
    const int col = index.column();
    const bool isException = table.kind() == RuleTableKind::Exception;
    switch (role) {
        case Qt::DisplayRole:
            if (col == table.imageColumn()) return {};
            return oneLine(table.cell(col, row));
        case Qt::EditRole: return fromBytes(table.cell(col, row));
        case Qt::DecorationRole:
            if (col == table.imageColumn()) return stateIcon(table.image(row));
            return {};
        case Qt::AccessibleTextRole:
            // The picture in words, for a screen reader.
            if (col == table.imageColumn()) return table.image(row) == Mark::Delete ? QString("Delete") : markName(table.image(row));
            return {};
        case Qt::TextAlignmentRole:
            if (col == hitsColumn(table.kind())) return QVariant::fromValue(Qt::Alignment(Qt::AlignRight | Qt::AlignVCenter));
            return {};
        case Qt::FontRole:
            if (col == grid_.patternColumn && (isException || table.cell(delColumn(table.kind()), row) == "Yes"))
                return bold_;
            return {};
        case Qt::ForegroundRole:
            if (col == grid_.patternColumn && !isException && table.cell(delColumn(table.kind()), row) != "Yes")
                return QBrush(Qt::blue);
            return {};
        default: return {};
    }
}

QVariant RuleTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= columnCount()) return {};
    if (role == Qt::DisplayRole) return oneLine(grid_.table.cell(section, 0));
    if (role == Qt::AccessibleTextRole && section == grid_.table.imageColumn() && grid_.table.cell(section, 0).empty())
        return QString("Mark");
    if (role == Qt::TextAlignmentRole && section == hitsColumn(grid_.table.kind()))
        return QVariant::fromValue(Qt::Alignment(Qt::AlignRight | Qt::AlignVCenter));
    return {};
}

Qt::ItemFlags RuleTableModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    Qt::ItemFlags flags = Qt::ItemIsSelectable | Qt::ItemIsEnabled;
    if (grid_.isEditable(index.column())) flags |= Qt::ItemIsEditable;
    return flags;
}

bool RuleTableModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!index.isValid() || role != Qt::EditRole || index.row() >= shownRows_) return false;
    const QString text = value.toString();
    // An editor closed without a change keeps the bytes as they were, even
    // those that are not UTF-8.
    if (text == data(index, Qt::EditRole).toString()) return true;
    const bool accepted = form_.setCellText(grid_, index.column(), index.row() + 1, toBytes(text));
    sync();
    return accepted;
}

void RuleTableModel::reset() {
    beginResetModel();
    shownRows_ = grid_.table.ruleCount();
    revision_ = grid_.table.revision();
    endResetModel();
}

void RuleTableModel::sync() {
    const RuleTable& table = grid_.table;
    if (revision_ == table.revision()) return;
    const auto changes = table.changesSince(revision_);
    if (!changes) {
        reset();
        return;
    }
    const int lastColumn = columnCount() - 1;
    // Consecutive writes to one row are told once.
    int pendingRow = -1;
    const auto flushRow = [&] {
        if (pendingRow == 0) emit headerDataChanged(Qt::Horizontal, 0, lastColumn);
        else if (pendingRow > 0 && pendingRow <= shownRows_)
            emit dataChanged(index(pendingRow - 1, 0), index(pendingRow - 1, lastColumn));
        pendingRow = -1;
    };
    for (const RuleTableChange& change : *changes) {
        using Kind = RuleTableChange::Kind;
        if (change.kind != Kind::Row) flushRow();
        switch (change.kind) {
            case Kind::Row:
                if (pendingRow != change.row) flushRow();
                pendingRow = change.row;
                break;
            case Kind::Inserted:
                if (change.row < 1 || change.row > shownRows_ + 1) return reset();
                beginInsertRows({}, change.row - 1, change.row - 1);
                ++shownRows_;
                endInsertRows();
                break;
            case Kind::Removed:
                if (change.row < 1 || change.row > shownRows_) return reset();
                beginRemoveRows({}, change.row - 1, change.row - 1);
                --shownRows_;
                endRemoveRows();
                break;
            case Kind::Moved: {
                const int from = change.row - 1, to = change.to - 1;
                if (from < 0 || to < 0 || from >= shownRows_ || to >= shownRows_) return reset();
                if (from == to) break;
                beginMoveRows({}, from, from, {}, to > from ? to + 1 : to);
                endMoveRows();
                break;
            }
            case Kind::All: return reset();
        }
    }
    flushRow();
    revision_ = table.revision();
    if (shownRows_ != table.ruleCount()) reset();
}

}  // namespace quorvel::ui
