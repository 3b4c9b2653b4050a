#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quorvel {

enum class RuleTableKind { Subject, Header, Sender, Exception };

// Mark images a rule row shows (indexes into the message list's state images).
inline constexpr int kImageNone = -1;
inline constexpr int kImageCheck = 0;
inline constexpr int kImageQuestion = 1;
inline constexpr int kFirstExceptionImage = 3;
inline constexpr int kLastExceptionImage = 14;

// One change of a table, as a view that shows it needs to hear of it.
struct RuleTableChange {
    enum class Kind { Row, Inserted, Removed, Moved, All };
    Kind kind = Kind::All;
    int row = 0;  // Row, Inserted, Removed: the row; Moved: where it came from
    int to = 0;   // Moved: where it went
    std::uint64_t revision = 0;  // the table's revision after the change
};

// A grid of text cells addressed as (column, row), independent of any view.
// Row 0 holds the headings, rows 1..n the rules in the order they are tried.
// The table always keeps at least one rule row: an empty table is one rule
// row of empty cells.
class RuleTable {
public:
    explicit RuleTable(RuleTableKind kind);

    RuleTableKind kind() const { return kind_; }
    int colCount() const { return colCount_; }
    int rowCount() const { return static_cast<int>(images_.size()); }
    int ruleCount() const { return rowCount() - 1; }

    // Cells outside the table read as empty text.
    const std::string& cell(int col, int row) const;
    // Throws std::out_of_range outside the table.
    void setCell(int col, int row, std::string text);

    // Grows with empty rows or drops rows from the end; never below one rule row.
    void setRowCount(int rows);
    // Inserts an empty row before `row` (1..rowCount()); the rows from there move down.
    void insertRow(int row);
    // Removes a rule row; the last remaining rule row is cleared instead.
    void deleteRow(int row);
    void moveRow(int from, int to);
    void clearRow(int row);
    // Puts the rule rows in this order: order[i] is the row (1..n) that
    // becomes row i + 1. Throws std::invalid_argument unless it is a
    // permutation of the rule rows.
    void reorderRows(const std::vector<int>& order);

    // The image column: 0 for subject, header and sender rules, 5 for exceptions.
    int imageColumn() const { return kind_ == RuleTableKind::Exception ? 5 : 0; }
    int image(int row) const;
    void setImage(int row, int image);

    // Column 6 of the exception table (the image index) is stored but never shown.
    bool isHidden(int col) const { return kind_ == RuleTableKind::Exception && col == 6; }
    int visibleColCount() const { return kind_ == RuleTableKind::Exception ? 6 : colCount_; }

    // Changes with every change of the cells, images or rows (not of the
    // widths). Values are unique across all tables, so equal revisions mean
    // equal contents even after one table was assigned to another: callers
    // can keep work derived from a table until the revision moves.
    std::uint64_t revision() const { return revision_; }

    // The changes made since the table stood at `revision`, oldest first (none
    // when it still does). Nothing when that revision is no longer in the
    // short journal kept: the caller then starts afresh from the contents.
    std::optional<std::vector<RuleTableChange>> changesSince(std::uint64_t revision) const;
    static constexpr std::size_t kJournalLength = 1024;

    int colWidth(int col) const;
    // Widths outside 1..kMaxColWidth are refused (the call does nothing).
    void setColWidth(int col, int width);
    static constexpr int kMaxColWidth = 32767;

private:
    void checkRow(int row, bool allowHeading) const;
    std::size_t at(int col, int row) const {
        return static_cast<std::size_t>(row) * static_cast<std::size_t>(colCount_) + static_cast<std::size_t>(col);
    }

    void touch(RuleTableChange::Kind kind, int row = 0, int to = 0);

    RuleTableKind kind_;
    int colCount_;
    std::uint64_t revision_ = 0;
    // Row-major cells and one image per row: a large file costs two allocations, not one per row.
    std::vector<std::string> cells_;
    std::vector<int> images_;
    std::vector<int> widths_;
    std::vector<RuleTableChange> journal_;
};

// Column of the "Del?" cell (none for exceptions: -1) and of the "Hits" cell.
int delColumn(RuleTableKind kind);
int hitsColumn(RuleTableKind kind);
// The column whose emptiness ends the table for the classification.
int keyColumn(RuleTableKind kind);

// Frees row 1 for a new rule that goes first: a new row is inserted there,
// unless the table is empty (its one rule row has only empty cells), whose
// row is taken as it is.
void makeFirstRuleRow(RuleTable& table);

// Writes the headings of the table's kind into row 0.
void SetGridHeadings(RuleTable& table);

// Sets the mark image of a subject, header or sender rule row: the check mark
// when del, the question mark otherwise. Rows outside 1..n are left alone.
void CheckGridAdv(RuleTable& table, int row, bool del);

// The exception image of an exception row: the index in column 6, 3 when the
// cell is empty or holds anything but a decimal number from 3 to 14.
int exceptionImageIndex(const RuleTable& table, int row);

// Recomputes every rule row's image from its cells.
void refreshImages(RuleTable& table);

// Sorts the rule rows by one column, stably: numbers by value (text that is
// not a number counts as 0), other columns as text without regard to ASCII
// case. Rows whose key cell is empty stay last, since such a row ends the
// table for the classification.
void sortRuleTable(RuleTable& table, int col, bool ascending, bool numeric);

// Removes every rule row that equals the row directly above it in all visible
// cells (hits included; the hidden image index does not count).
void DeleteDupsFromGrid(RuleTable& table);

}  // namespace quorvel
