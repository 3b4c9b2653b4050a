#include "config/rule_table.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <stdexcept>

namespace quorvel {

namespace {

int columnsOf(RuleTableKind kind) { return kind == RuleTableKind::Exception ? 7 : 6; }

// Display widths in pixels used until a rule file or the user sets others.
std::vector<int> defaultWidths(RuleTableKind kind) {
    switch (kind) {
        case RuleTableKind::Subject:
        case RuleTableKind::Header: return {24, 140, 231, 40, 40, 50};
        case RuleTableKind::Sender: return {24, 110, 140, 200, 40, 50};
        case RuleTableKind::Exception: return {110, 140, 200, 45, 50, 24, 24};
    }
    return {};
}

const std::string kEmpty;

std::atomic<std::uint64_t> lastRevision{0};

}  // namespace

void RuleTable::touch(RuleTableChange::Kind kind, int row, int to) {
    revision_ = ++lastRevision;
    // Older changes are dropped in halves, so keeping the journal costs little.
    if (journal_.size() >= 2 * kJournalLength)
        journal_.erase(journal_.begin(), journal_.begin() + static_cast<std::ptrdiff_t>(kJournalLength));
    journal_.push_back({kind, row, to, revision_});
}

std::optional<std::vector<RuleTableChange>> RuleTable::changesSince(std::uint64_t revision) const {
    if (revision == revision_) return std::vector<RuleTableChange>{};
    for (std::size_t i = journal_.size(); i-- > 0;)
        if (journal_[i].revision == revision)
            return std::vector<RuleTableChange>(journal_.begin() + static_cast<std::ptrdiff_t>(i) + 1, journal_.end());
    return std::nullopt;
}

RuleTable::RuleTable(RuleTableKind kind) : kind_(kind), colCount_(columnsOf(kind)), widths_(defaultWidths(kind)) {
    setRowCount(2);
}

void RuleTable::checkRow(int row, bool allowHeading) const {
    if (row < (allowHeading ? 0 : 1) || row >= rowCount()) throw std::out_of_range("row outside the rule table");
}

const std::string& RuleTable::cell(int col, int row) const {
    if (col < 0 || col >= colCount_ || row < 0 || row >= rowCount()) return kEmpty;
    return cells_[at(col, row)];
}

void RuleTable::setCell(int col, int row, std::string text) {
    checkRow(row, true);
    if (col < 0 || col >= colCount_) throw std::out_of_range("column outside the rule table");
    touch(RuleTableChange::Kind::Row, row);
    cells_[at(col, row)] = std::move(text);
}

void RuleTable::setRowCount(int rows) {
    touch(RuleTableChange::Kind::All);
    const int count = std::max(rows, 2);
    cells_.resize(at(0, count));
    images_.resize(static_cast<std::size_t>(count), kImageNone);
}

void RuleTable::insertRow(int row) {
    if (row < 1 || row > rowCount()) throw std::out_of_range("row outside the rule table");
    touch(RuleTableChange::Kind::Inserted, row);
    cells_.insert(cells_.begin() + static_cast<std::ptrdiff_t>(at(0, row)), static_cast<std::size_t>(colCount_), std::string());
    images_.insert(images_.begin() + row, kImageNone);
}

void RuleTable::deleteRow(int row) {
    checkRow(row, false);
    if (ruleCount() == 1) {
        clearRow(row);
        return;
    }
    touch(RuleTableChange::Kind::Removed, row);
    cells_.erase(cells_.begin() + static_cast<std::ptrdiff_t>(at(0, row)),
                 cells_.begin() + static_cast<std::ptrdiff_t>(at(0, row + 1)));
    images_.erase(images_.begin() + row);
}

void RuleTable::moveRow(int from, int to) {
    checkRow(from, false);
    checkRow(to, false);
    touch(RuleTableChange::Kind::Moved, from, to);
    const auto rowStart = [&](int row) { return cells_.begin() + static_cast<std::ptrdiff_t>(at(0, row)); };
    if (from < to) {
        std::rotate(rowStart(from), rowStart(from + 1), rowStart(to + 1));
        std::rotate(images_.begin() + from, images_.begin() + from + 1, images_.begin() + to + 1);
    } else if (to < from) {
        std::rotate(rowStart(to), rowStart(from), rowStart(from + 1));
        std::rotate(images_.begin() + to, images_.begin() + from, images_.begin() + from + 1);
    }
}

void RuleTable::clearRow(int row) {
    checkRow(row, true);
    touch(RuleTableChange::Kind::Row, row);
    for (int col = 0; col < colCount_; ++col) cells_[at(col, row)].clear();
    images_[static_cast<std::size_t>(row)] = kImageNone;
}

void RuleTable::reorderRows(const std::vector<int>& order) {
    const int n = ruleCount();
    std::vector<bool> taken(static_cast<std::size_t>(n) + 1, false);
    if (static_cast<int>(order.size()) != n) throw std::invalid_argument("not an order of the rule rows");
    for (const int row : order) {
        if (row < 1 || row > n || taken[static_cast<std::size_t>(row)])
            throw std::invalid_argument("not an order of the rule rows");
        taken[static_cast<std::size_t>(row)] = true;
    }
    touch(RuleTableChange::Kind::All);
    std::vector<std::string> cells;
    cells.reserve(cells_.size());
    std::vector<int> images;
    images.reserve(images_.size());
    const auto take = [&](int row) {
        for (int col = 0; col < colCount_; ++col) cells.push_back(std::move(cells_[at(col, row)]));
        images.push_back(images_[static_cast<std::size_t>(row)]);
    };
    take(0);
    for (const int row : order) take(row);
    cells_ = std::move(cells);
    images_ = std::move(images);
}

int RuleTable::image(int row) const {
    if (row < 0 || row >= rowCount()) return kImageNone;
    return images_[static_cast<std::size_t>(row)];
}

void RuleTable::setImage(int row, int image) {
    checkRow(row, true);
    touch(RuleTableChange::Kind::Row, row);
    images_[static_cast<std::size_t>(row)] = image;
}

int RuleTable::colWidth(int col) const {
    if (col < 0 || col >= colCount_) return 0;
    return widths_[static_cast<std::size_t>(col)];
}

void RuleTable::setColWidth(int col, int width) {
    if (col < 0 || col >= colCount_ || width < 1 || width > kMaxColWidth) return;
    widths_[static_cast<std::size_t>(col)] = width;
}

int delColumn(RuleTableKind kind) { return kind == RuleTableKind::Exception ? -1 : 4; }
int hitsColumn(RuleTableKind kind) { return kind == RuleTableKind::Exception ? 4 : 5; }
int keyColumn(RuleTableKind kind) { return kind == RuleTableKind::Exception ? 0 : 1; }

void SetGridHeadings(RuleTable& table) {
    using Headings = std::array<const char*, 7>;
    static constexpr Headings subject{"", "What", "Matches", "Case", "Del?", "Hits", ""};
    static constexpr Headings sender{"", "What", "Condition", "Matches", "Del?", "Hits", ""};
    static constexpr Headings exception{"What", "Condition", "Matches", "Case?", "Hits", "", ""};
    const Headings& headings = table.kind() == RuleTableKind::Sender      ? sender
                               : table.kind() == RuleTableKind::Exception ? exception
                                                                          : subject;
    for (int col = 0; col < table.colCount(); ++col) table.setCell(col, 0, headings[static_cast<std::size_t>(col)]);
}

void makeFirstRuleRow(RuleTable& table) {
    bool empty = table.ruleCount() == 1;
    for (int col = 0; empty && col < table.colCount(); ++col) empty = table.cell(col, 1).empty();
    if (!empty) table.insertRow(1);
}

void CheckGridAdv(RuleTable& table, int row, bool del) {
    if (table.kind() == RuleTableKind::Exception || row < 1 || row >= table.rowCount()) return;
    table.setImage(row, del ? kImageCheck : kImageQuestion);
}

int exceptionImageIndex(const RuleTable& table, int row) {
    const std::string& text = table.cell(6, row);
    if (text.empty() || text.size() > 2 || !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return kFirstExceptionImage;
    const int index = std::stoi(text);
    return (index >= kFirstExceptionImage && index <= kLastExceptionImage) ? index : kFirstExceptionImage;
}

void refreshImages(RuleTable& table) {
    for (int row = 1; row < table.rowCount(); ++row) {
        if (table.kind() == RuleTableKind::Exception)
            table.setImage(row, exceptionImageIndex(table, row));
        else
            CheckGridAdv(table, row, table.cell(delColumn(table.kind()), row) == "Yes");
    }
}

void sortRuleTable(RuleTable& table, int col, bool ascending, bool numeric) {
    const int n = table.ruleCount();
    const int key = keyColumn(table.kind());
    struct Entry {
        int row;
        bool last;  // an empty key cell
        long long number;
        std::string text;
    };
    const auto fold = [](std::string text) {
        for (char& c : text)
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        return text;
    };
    const auto number = [](const std::string& text) {
        long long value = 0;
        if (text.empty() || text.size() > 18) return value;
        for (const char c : text) {
            if (c < '0' || c > '9') return 0LL;
            value = value * 10 + (c - '0');
        }
        return value;
    };
    std::vector<Entry> entries;
    entries.reserve(static_cast<std::size_t>(n));
    for (int row = 1; row <= n; ++row) {
        const std::string& cell = table.cell(col, row);
        entries.push_back({row, table.cell(key, row).empty(), numeric ? number(cell) : 0,
                           numeric ? std::string() : fold(cell)});
    }
    std::stable_sort(entries.begin(), entries.end(), [&](const Entry& a, const Entry& b) {
        if (a.last != b.last) return b.last;
        if (a.last) return false;
        const int order = numeric ? (a.number < b.number ? -1 : a.number > b.number ? 1 : 0) : a.text.compare(b.text);
        return ascending ? order < 0 : order > 0;
    });
    std::vector<int> order;
    order.reserve(entries.size());
    for (const Entry& e : entries) order.push_back(e.row);
    table.reorderRows(order);
}

void DeleteDupsFromGrid(RuleTable& table) {
    if (table.ruleCount() < 2) return;
    const auto sameAsAbove = [&](int row) {
        for (int col = 0; col < table.colCount(); ++col)
            if (!table.isHidden(col) && table.cell(col, row) != table.cell(col, row - 1)) return false;
        return true;
    };
    for (int row = table.rowCount() - 1; row >= 2; --row)
        if (sameAsAbove(row)) table.deleteRow(row);
}

}  // namespace quorvel
