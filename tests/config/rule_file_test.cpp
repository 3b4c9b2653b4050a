#include "config/rule_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "config/text_lines.h"
#include "platform/files.h"
#include "support/fake_platform.h"

namespace quorvel {
namespace {

using testing::TempFolder;

void fillRule(RuleTable& table, int row, const std::vector<std::string>& cells, int firstCol = 1) {
    for (std::size_t i = 0; i < cells.size(); ++i) table.setCell(firstCol + static_cast<int>(i), row, cells[i]);
}

TEST(RuleFile, SubjectTableWithOneRuleSavesLineByLine) {
    RuleTable table(RuleTableKind::Subject);
    SetGridHeadings(table);
    fillRule(table, 1, {"Contains (whole word)", "free", "No", "Yes", "0"});
    const std::string text = formatRuleTable(table);

    std::vector<std::string> expected{"6,2"};
    for (int col = 0; col < 6; ++col)
        expected.push_back("cw " + std::to_string(col) + "," + std::to_string(table.colWidth(col)));
    for (const char* line : {"1,0,What", "2,0,Matches", "3,0,Case", "4,0,Del?", "5,0,Hits", "1,1,Contains (whole word)",
                             "2,1,free", "3,1,No", "4,1,Yes", "5,1,0"})
        expected.push_back(line);
    std::string expectedText;
    for (const std::string& line : expected) expectedText += line + "\r\n";
    EXPECT_EQ(text, expectedText);
    for (int col = 0; col < 6; ++col) EXPECT_GT(table.colWidth(col), 0);
}

TEST(RuleFile, LineBreaksSurviveSaveAndLoadWhileTabsAndBackspacesBecomeLineBreaks) {
    TempFolder folder;
    RuleTable table(RuleTableKind::Header);
    table.setRowCount(3);
    fillRule(table, 1, {"Contains", "first line\r\nsecond, with commas", "Yes", "No", "3"});
    fillRule(table, 2, {"Equals", "tab\there\bback", "No", "Yes", "0"});
    saveRuleTable(folder.file("header.lst"), table);
    const std::string saved = *readFileBytes(folder.file("header.lst"));
    EXPECT_NE(saved.find("2,1,first line\t\bsecond, with commas\r\n"), std::string::npos);

    const RuleTable loaded = loadRuleTable(folder.file("header.lst"), RuleTableKind::Header);
    EXPECT_EQ(loaded.cell(2, 1), "first line\r\nsecond, with commas");
    EXPECT_EQ(loaded.cell(2, 2), "tab\rhere\nback");
    EXPECT_EQ(loaded.cell(5, 1), "3");
    EXPECT_EQ(loaded.rowCount(), 3);
}

TEST(RuleFile, CellsOutsideTheDeclaredOrOwnShapeAreIgnored) {
    const RuleTable table = parseRuleTable(
        "6,3\r\n9,1,far right\r\n1,500,far down\r\n1,2,kept\r\n6,1,seventh column\r\n"
        "x,1,no column\r\n1,,no row\r\nno commas\r\n1,1\r\n2,2147483647,huge row\r\n3,99999999999999999999,overflow\r\n",
        RuleTableKind::Subject, "subj.lst");
    EXPECT_EQ(table.colCount(), 6);
    EXPECT_EQ(table.rowCount(), 3);
    EXPECT_EQ(table.cell(1, 2), "kept");
    EXPECT_EQ(formatRuleTable(table).find("far"), std::string::npos);
    for (int row = 0; row < 3; ++row)
        for (int col = 0; col < 6; ++col)
            if (!(col == 1 && row == 2)) {
                EXPECT_EQ(table.cell(col, row), "") << col << "," << row;
            }
}

TEST(RuleFile, CellsBeyondTheDeclaredColumnCountAreIgnored) {
    const RuleTable table = parseRuleTable("2,2\r\n1,1,Contains\r\n2,1,beyond\r\n", RuleTableKind::Subject, "subj.lst");
    EXPECT_EQ(table.cell(1, 1), "Contains");
    EXPECT_EQ(table.cell(2, 1), "");
}

TEST(RuleFile, CommaLinesAndWidths) {
    const RuleTable table =
        parseRuleTable("6,2\ncw 2,231\ncw 1,0\ncw 5,99999999\ncw 9,50\ncw3,77\n", RuleTableKind::Sender, "from.lst");
    const RuleTable fresh(RuleTableKind::Sender);
    EXPECT_EQ(table.colWidth(2), 231);
    EXPECT_EQ(table.colWidth(3), 77);
    EXPECT_EQ(table.colWidth(1), fresh.colWidth(1));  // zero refused
    EXPECT_EQ(table.colWidth(5), fresh.colWidth(5));  // absurd width refused
}

TEST(RuleFile, FiveColumnExceptionFileGetsEmptyImageColumns) {
    const RuleTable table = parseRuleTable(
        "5,3\r\n0,0,What\r\n0,1,E-mail address\r\n1,1,Equals\r\n2,1,joe@example.com\r\n3,1,No\r\n4,1,2\r\n"
        "0,2,Subject\r\n1,2,Contains\r\n2,2,invoice\r\n",
        RuleTableKind::Exception, "except.lst");
    EXPECT_EQ(table.colCount(), 7);
    EXPECT_EQ(table.cell(4, 1), "2");
    for (int row = 1; row < 3; ++row) {
        EXPECT_EQ(table.cell(5, row), "");
        EXPECT_EQ(table.cell(6, row), "");
        EXPECT_EQ(table.image(row), 3);
    }
    EXPECT_TRUE(table.isHidden(6));
    EXPECT_TRUE(formatRuleTable(table).starts_with("7,3\r\n"));
}

TEST(RuleFile, ExceptionImagesComeFromTheHiddenColumn) {
    const struct {
        const char* index;
        int image;
    } cases[] = {{"12", 12}, {"3", 3}, {"14", 14}, {"", 3}, {"x", 3}, {"15", 3}, {"2", 3}, {"-5", 3}, {"7a", 3}};
    for (const auto& c : cases) {
        const RuleTable table =
            parseRuleTable(std::string("7,2\r\n0,1,Subject\r\n6,1,") + c.index + "\r\n", RuleTableKind::Exception, "e");
        EXPECT_EQ(table.image(1), c.image) << "'" << c.index << "'";
        EXPECT_EQ(table.cell(6, 1), c.index);  // kept as written
    }
}

TEST(RuleFile, RuleImagesFollowTheDelCell) {
    const RuleTable table =
        parseRuleTable("6,4\r\n1,1,Contains\r\n4,1,Yes\r\n1,2,Contains\r\n4,2,No\r\n1,3,Contains\r\n4,3,yes\r\n",
                       RuleTableKind::Subject, "s");
    EXPECT_EQ(table.image(0), kImageNone);
    EXPECT_EQ(table.image(1), kImageCheck);
    EXPECT_EQ(table.image(2), kImageQuestion);
    EXPECT_EQ(table.image(3), kImageQuestion);
}

TEST(RuleFile, LinesMayEndInCrLfLfOrCr) {
    const RuleTable table = parseRuleTable("6,3\n1,1,a\r2,1,b\r\n1,2,c", RuleTableKind::Subject, "s");
    EXPECT_EQ(table.cell(1, 1), "a");
    EXPECT_EQ(table.cell(2, 1), "b");
    EXPECT_EQ(table.cell(1, 2), "c");
}

TEST(RuleFile, BytesAboveAsciiAndNulAreKept) {
    const std::string pattern = std::string("Caf\xE9 au lait") + '\0' + "\xFF";
    RuleTable table(RuleTableKind::Subject);
    fillRule(table, 1, {"Contains", pattern, "Yes", "Yes", "1"});
    const RuleTable loaded = parseRuleTable(formatRuleTable(table), RuleTableKind::Subject, "s");
    EXPECT_EQ(loaded.cell(2, 1), pattern);
}

TEST(RuleFile, CorruptFirstLineFailsWithThePath) {
    for (const std::string& text :
         {std::string(), std::string("\r\n6,2\r\n"), std::string("abc"), std::string("6"), std::string("6,"),
          std::string("0,5"), std::string("6,0"), std::string(" 6,2"), std::string("6,x"),
          std::string("6,2147483647\r\n1,2147483646,x"), std::string("6,1000001"),
          std::string("99999999999999999999,2"), std::string("6,99999999999999999999"),
          std::string("\0\0\0", 3)}) {
        try {
            parseRuleTable(text, RuleTableKind::Subject, "/opt/q/subj.lst");
            ADD_FAILURE() << "loaded '" << text << "'";
        } catch (const RuleFileError& error) {
            EXPECT_STREQ(error.what(), "File contains no data or corrupt file /opt/q/subj.lst");
        }
    }
}

TEST(RuleFile, CountsAreReadFromLeadingDigits) {
    const RuleTable table = parseRuleTable("6 columns,3 rows\r\n1,2,x\r\n", RuleTableKind::Subject, "s");
    EXPECT_EQ(table.rowCount(), 3);
    EXPECT_EQ(table.cell(1, 2), "x");
}

TEST(RuleFile, LargestAllowedTableLoads) {
    const RuleTable table =
        parseRuleTable("6," + std::to_string(kMaxRuleRows) + "\r\n1,99999,last\r\n", RuleTableKind::Subject, "s");
    EXPECT_EQ(table.rowCount(), kMaxRuleRows);
    EXPECT_EQ(table.cell(1, 99999), "last");
}

TEST(RuleFile, HeadingsOnlyFileStillHasOneRuleRow) {
    const RuleTable table = parseRuleTable("6,1\r\n1,0,What\r\n", RuleTableKind::Subject, "s");
    EXPECT_EQ(table.rowCount(), 2);
    EXPECT_EQ(table.cell(1, 0), "What");
}

TEST(RuleFile, MissingFileGivesHeadingsAndOneEmptyRule) {
    TempFolder folder;
    const RuleTable table = loadRuleTable(folder.file("except.lst"), RuleTableKind::Exception);
    EXPECT_EQ(table.rowCount(), 2);
    EXPECT_EQ(table.cell(0, 0), "What");
    EXPECT_EQ(table.cell(3, 0), "Case?");
    for (int col = 0; col < table.colCount(); ++col) EXPECT_EQ(table.cell(col, 1), "");
}

TEST(RuleFile, FailedSaveLeavesThePreviousFile) {
    TempFolder folder;
    RuleTable table(RuleTableKind::Subject);
    fillRule(table, 1, {"Contains", "old", "No", "Yes", "0"});
    saveRuleTable(folder.file("subj.lst"), table);
    const std::string before = *readFileBytes(folder.file("subj.lst"));

    // A folder in the way of the temporary file's rename makes the save fail.
    ASSERT_EQ(mkdir(folder.file("blocked.lst").c_str(), 0755), 0);
    ASSERT_EQ(mkdir(folder.file("blocked.lst/x").c_str(), 0755), 0);
    EXPECT_THROW(saveRuleTable(folder.file("blocked.lst"), table), std::runtime_error);
    EXPECT_THROW(saveRuleTable(folder.file("no such folder/subj.lst"), table), std::runtime_error);
    EXPECT_EQ(*readFileBytes(folder.file("subj.lst")), before);
}

TEST(TextLines, SplitsAtEveryKindOfLineEnd) {
    EXPECT_EQ(splitLines("a\r\nb\nc\rd"), (std::vector<std::string_view>{"a", "b", "c", "d"}));
    EXPECT_EQ(splitLines("a\r\n\r\n"), (std::vector<std::string_view>{"a", ""}));
    EXPECT_EQ(splitLines(""), std::vector<std::string_view>{});
    EXPECT_EQ(splitLines("\n\r"), (std::vector<std::string_view>{"", ""}));
}

}  // namespace
}  // namespace quorvel
