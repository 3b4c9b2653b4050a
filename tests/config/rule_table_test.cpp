#include "config/rule_table.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quorvel {
namespace {

RuleTable tableOf(RuleTableKind kind, const std::vector<std::vector<std::string>>& rules) {
    RuleTable table(kind);
    SetGridHeadings(table);
    table.setRowCount(static_cast<int>(rules.size()) + 1);
    for (std::size_t r = 0; r < rules.size(); ++r)
        for (std::size_t c = 0; c < rules[r].size(); ++c)
            table.setCell(static_cast<int>(c), static_cast<int>(r) + 1, rules[r][c]);
    return table;
}

std::vector<std::string> patterns(const RuleTable& table, int col) {
    std::vector<std::string> result;
    for (int row = 1; row < table.rowCount(); ++row) result.push_back(table.cell(col, row));
    return result;
}

TEST(DeleteDupsFromGrid, RemovesOnlyNeighbouringIdenticalRows) {
    RuleTable table = tableOf(RuleTableKind::Subject, {{"", "Contains", "a", "No", "Yes", "0"},
                                                       {"", "Contains", "a", "No", "Yes", "0"},
                                                       {"", "Contains", "a", "No", "Yes", "0"},
                                                       {"", "Contains", "a", "No", "Yes", "4"},
                                                       {"", "Contains", "b", "No", "Yes", "0"},
                                                       {"", "Contains", "a", "No", "Yes", "4"}});
    DeleteDupsFromGrid(table);
    EXPECT_EQ(patterns(table, 2), (std::vector<std::string>{"a", "a", "b", "a"}));
    EXPECT_EQ(patterns(table, 5), (std::vector<std::string>{"0", "4", "0", "4"}));
}

TEST(DeleteDupsFromGrid, ExceptionImageIndexDoesNotCount) {
    RuleTable table = tableOf(RuleTableKind::Exception, {{"E-mail address", "Equals", "a@b", "No", "0", "", "5"},
                                                         {"E-mail address", "Equals", "a@b", "No", "0", "", "9"},
                                                         {"E-mail address", "Equals", "a@b", "Yes", "0", "", "9"}});
    DeleteDupsFromGrid(table);
    EXPECT_EQ(table.ruleCount(), 2);
    EXPECT_EQ(table.cell(6, 1), "5");
    EXPECT_EQ(table.cell(3, 2), "Yes");
}

TEST(DeleteDupsFromGrid, EmptyRowsCollapseButOneRuleRowRemains) {
    RuleTable table = tableOf(RuleTableKind::Sender, {{}, {}, {}});
    DeleteDupsFromGrid(table);
    EXPECT_EQ(table.rowCount(), 2);
}

TEST(RuleTable, RowEditingKeepsImagesWithTheirRowsAndOneRuleRow) {
    RuleTable table = tableOf(RuleTableKind::Subject, {{"", "Contains", "a", "No", "Yes", "0"},
                                                       {"", "Contains", "b", "No", "No", "0"}});
    refreshImages(table);
    table.insertRow(1);
    EXPECT_EQ(patterns(table, 2), (std::vector<std::string>{"", "a", "b"}));
    EXPECT_EQ(table.image(2), kImageCheck);
    table.moveRow(3, 1);
    EXPECT_EQ(patterns(table, 2), (std::vector<std::string>{"b", "", "a"}));
    EXPECT_EQ(table.image(1), kImageQuestion);
    table.deleteRow(2);
    table.deleteRow(1);
    table.deleteRow(1);
    EXPECT_EQ(table.rowCount(), 2);
    EXPECT_EQ(table.cell(2, 1), "");
    EXPECT_EQ(table.image(1), kImageNone);
    EXPECT_THROW(table.deleteRow(0), std::out_of_range);
    EXPECT_THROW(table.setCell(6, 1, "x"), std::out_of_range);
    EXPECT_EQ(table.cell(40, 1), "");
}

TEST(RuleTable, MovingDownAndUpKeepsTheOtherRowsInOrder) {
    RuleTable table = tableOf(RuleTableKind::Exception, {{"a"}, {"b"}, {"c"}, {"d"}});
    table.setImage(1, 7);
    table.moveRow(1, 3);
    EXPECT_EQ(patterns(table, 0), (std::vector<std::string>{"b", "c", "a", "d"}));
    EXPECT_EQ(table.image(3), 7);
    table.moveRow(4, 1);
    EXPECT_EQ(patterns(table, 0), (std::vector<std::string>{"d", "b", "c", "a"}));
    EXPECT_EQ(table.image(4), 7);
    EXPECT_THROW(table.moveRow(1, 5), std::out_of_range);
}

TEST(CheckGridAdv, SetsTheMarkOfRuleRowsOnly) {
    RuleTable table = tableOf(RuleTableKind::Header, {{}, {}});
    CheckGridAdv(table, 1, true);
    CheckGridAdv(table, 2, false);
    CheckGridAdv(table, 0, true);
    CheckGridAdv(table, 3, true);
    EXPECT_EQ(table.image(0), kImageNone);
    EXPECT_EQ(table.image(1), kImageCheck);
    EXPECT_EQ(table.image(2), kImageQuestion);
}

TEST(SetGridHeadings, EachKindHasItsHeadings) {
    const struct {
        RuleTableKind kind;
        std::vector<std::string> headings;
    } cases[] = {
        {RuleTableKind::Subject, {"", "What", "Matches", "Case", "Del?", "Hits"}},
        {RuleTableKind::Header, {"", "What", "Matches", "Case", "Del?", "Hits"}},
        {RuleTableKind::Sender, {"", "What", "Condition", "Matches", "Del?", "Hits"}},
        {RuleTableKind::Exception, {"What", "Condition", "Matches", "Case?", "Hits", "", ""}},
    };
    for (const auto& c : cases) {
        RuleTable table(c.kind);
        SetGridHeadings(table);
        std::vector<std::string> row0;
        for (int col = 0; col < table.colCount(); ++col) row0.push_back(table.cell(col, 0));
        EXPECT_EQ(row0, c.headings);
    }
}

}  // namespace
}  // namespace quorvel
