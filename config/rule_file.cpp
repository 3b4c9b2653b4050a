#include "config/rule_file.h"

#include <algorithm>
#include <limits>

#include "config/text_lines.h"
#include "platform/files.h"

namespace quorvel {

namespace {

constexpr long long kNumberLimit = std::numeric_limits<int>::max();

// Line breaks cannot stand in a line of the file: CR travels as a tab, LF as a backspace.
std::string encodeCell(std::string_view text) {
    std::string encoded(text);
    std::replace(encoded.begin(), encoded.end(), '\r', '\t');
    std::replace(encoded.begin(), encoded.end(), '\n', '\b');
    return encoded;
}

std::string decodeCell(std::string_view text) {
    std::string decoded(text);
    std::replace(decoded.begin(), decoded.end(), '\t', '\r');
    std::replace(decoded.begin(), decoded.end(), '\b', '\n');
    return decoded;
}

std::string corruptMessage(const std::string& path) { return "File contains no data or corrupt file " + path; }

// "cw <column>,<width>"
void readWidthLine(std::string_view line, long long declaredCols, RuleTable& table) {
    std::string_view rest = line.substr(2);
    while (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
    const std::size_t comma = rest.find(',');
    if (comma == std::string_view::npos) return;
    const auto col = readLeadingNumber(rest.substr(0, comma), kNumberLimit);
    const auto width = readLeadingNumber(rest.substr(comma + 1), RuleTable::kMaxColWidth);
    if (!col || !width || *col >= declaredCols) return;
    table.setColWidth(static_cast<int>(*col), static_cast<int>(*width));
}

// "<column>,<row>,<text>"; the text runs to the end of the line, commas included.
void readCellLine(std::string_view line, long long declaredCols, long long declaredRows, RuleTable& table) {
    const std::size_t first = line.find(',');
    if (first == std::string_view::npos) return;
    const std::size_t second = line.find(',', first + 1);
    if (second == std::string_view::npos) return;
    const auto col = readLeadingNumber(line.substr(0, first), kNumberLimit);
    const auto row = readLeadingNumber(line.substr(first + 1, second - first - 1), kNumberLimit);
    if (!col || !row || *col >= declaredCols || *row >= declaredRows || *col >= table.colCount()) return;
    table.setCell(static_cast<int>(*col), static_cast<int>(*row), decodeCell(line.substr(second + 1)));
}

}  // namespace

RuleTable parseRuleTable(std::string_view bytes, RuleTableKind kind, const std::string& path) {
    const std::vector<std::string_view> lines = splitLines(bytes);
    const std::string_view header = lines.empty() ? std::string_view() : lines.front();
    const std::size_t comma = header.find(',');
    // Counts that overflow, or a row count beyond the cap, mark a damaged file.
    const long long cols = readLeadingNumber(header.substr(0, comma), kNumberLimit).value_or(0);
    const long long rows =
        comma == std::string_view::npos ? 0 : readLeadingNumber(header.substr(comma + 1), kMaxRuleRows).value_or(0);
    if (cols == 0 || rows == 0) throw RuleFileError(corruptMessage(path));

    // The table keeps its own column count: surplus columns of the file are
    // dropped, and missing ones (the exception table's image columns in a
    // five-column file) stay empty.
    RuleTable table(kind);
    table.setRowCount(static_cast<int>(rows));
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const std::string_view line = lines[i];
        if (line.substr(0, 2) == "cw")
            readWidthLine(line, cols, table);
        else
            readCellLine(line, cols, rows, table);
    }
    refreshImages(table);
    return table;
}

RuleTable loadRuleTable(const std::string& path, RuleTableKind kind) {
    if (!fileExists(path)) {
        RuleTable table(kind);
        SetGridHeadings(table);
        return table;
    }
    const auto bytes = readFileBytes(path);
    if (!bytes) throw RuleFileError("File " + path + " not found");
    return parseRuleTable(*bytes, kind, path);
}

std::string formatRuleTable(const RuleTable& table) {
    std::string out = std::to_string(table.colCount()) + "," + std::to_string(table.rowCount()) + "\r\n";
    for (int col = 0; col < table.colCount(); ++col)
        out += "cw " + std::to_string(col) + "," + std::to_string(table.colWidth(col)) + "\r\n";
    for (int row = 0; row < table.rowCount(); ++row) {
        for (int col = 0; col < table.colCount(); ++col) {
            const std::string& text = table.cell(col, row);
            if (text.empty()) continue;
            out += std::to_string(col) + "," + std::to_string(row) + "," + encodeCell(text) + "\r\n";
        }
    }
    return out;
}

void saveRuleTable(const std::string& path, const RuleTable& table) {
    writeFileAtomically(path, formatRuleTable(table));
}

}  // namespace quorvel
