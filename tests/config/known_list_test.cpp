#include "config/known_list.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "classify/operators.h"
#include "config/known_list_editor.h"
#include "platform/files.h"
#include "support/fake_platform.h"

namespace quorvel {
namespace {

using testing::TempFolder;
using Lines = std::vector<std::string>;

TEST(KnownList, OrderFoldsAsciiLettersOnly) {
    EXPECT_EQ(compareKnownEntries("Spam.COM", "spam.com"), 0);
    EXPECT_LT(compareKnownEntries("abc", "ABD"), 0);
    EXPECT_LT(compareKnownEntries("ab", "abc"), 0);
    EXPECT_GT(compareKnownEntries("b", "A"), 0);
    EXPECT_NE(compareKnownEntries("\xE9", "\xC9"), 0);  // accented letters stay apart
    EXPECT_GT(compareKnownEntries("\xE9", "z"), 0);     // bytes above 127 sort after ASCII
}

TEST(KnownList, LoadSortsSkipsEmptyLinesAndToleratesAnyLineEnds) {
    TempFolder folder;
    writeFileAtomically(folder.file("known.lst"), "zeta.com\r\n\r\nAlpha@x.org\nmid.net\rbeta.de");
    KnownList list;
    list.LoadUpKnownList(folder.file("known.lst"));
    EXPECT_EQ(list.entries(), (Lines{"Alpha@x.org", "beta.de", "mid.net", "zeta.com"}));

    list.LoadUpKnownList(folder.file("absent.lst"));
    EXPECT_EQ(list.size(), 0u);
    EXPECT_EQ(list.FindInKnownList("anything"), -1);
}

TEST(KnownList, FindIsCaseInsensitiveAndComparesEightyCharacters) {
    const std::string longEntry = std::string(80, 'a') + "-tail.com";
    KnownList list;
    list.assign({"bulk.example", "SPAMMER@Mail.com", longEntry, "zz.top", "0day.net"});
    for (const std::string& entry : list.entries()) {
        const int index = list.FindInKnownList(entry.substr(0, 80));
        ASSERT_GE(index, 0) << entry;
        EXPECT_EQ(list.entry(static_cast<std::size_t>(index)), entry);
    }

    EXPECT_GE(list.FindInKnownList("spammer@mail.COM"), 0);
    EXPECT_EQ(list.entry(static_cast<std::size_t>(list.FindInKnownList("BULK.example"))), "bulk.example");
    EXPECT_EQ(list.FindInKnownList("bulk.exampl"), -1);
    EXPECT_EQ(list.FindInKnownList("a.bulk.example"), -1);
    EXPECT_EQ(list.entry(static_cast<std::size_t>(list.FindInKnownList(std::string(80, 'A')))), longEntry);
    EXPECT_EQ(list.FindInKnownList(longEntry), -1);  // the key is not shortened
    EXPECT_EQ(list.FindInKnownList(""), -1);
}

TEST(KnownList, SortingKeepsEqualEntriesInOrderAndHandlesSharedPrefixes) {
    KnownList list;
    list.assign({"b.COM", "sixteen-bytes-ab.x", "a.com", "B.com", "sixteen-bytes-ab", "sixteen-bytes-AB",
                 std::string_view("ab\0", 3), "ab", "sixteen-bytes-aa.z", "b.com"});
    EXPECT_EQ(list.entries(), (Lines{"a.com", "ab", std::string("ab\0", 3), "b.COM", "B.com", "b.com",
                                     "sixteen-bytes-aa.z", "sixteen-bytes-ab", "sixteen-bytes-AB",
                                     "sixteen-bytes-ab.x"}));
    EXPECT_EQ(list.toFileBytes().substr(0, 11), "a.com\r\nab\r\n");
}

TEST(KnownList, LargeListSortsLikeAStableComparisonSort) {
    // Entries built to collide: shared 16-byte prefixes, case variants, zero
    // bytes, short entries and bytes above 127.
    const std::vector<std::string> pieces{"", "a", "A", "sixteen-bytes-ab", "SIXTEEN-BYTES-AB", std::string(1, '\0'),
                                          "\xE9", "\xC9", "z", "_", "@x.com", "0"};
    std::vector<std::string> entries;
    std::uint32_t state = 12345;
    for (int i = 0; i < 6000; ++i) {
        std::string entry;
        for (int part = 0; part < 3; ++part) {
            state = state * 1103515245u + 12345u;
            entry += pieces[(state >> 16) % pieces.size()];
        }
        entries.push_back(entry);
    }
    std::vector<std::string> expected = entries;
    std::stable_sort(expected.begin(), expected.end(),
                     [](const std::string& a, const std::string& b) { return compareKnownEntries(a, b) < 0; });
    KnownList list;
    list.assign(std::vector<std::string_view>(entries.begin(), entries.end()));
    EXPECT_EQ(list.entries(), expected);
}

TEST(KnownList, FindReachesEveryEntryOfALargerList) {
    std::vector<std::string> entries;
    for (int i = 0; i < 1000; ++i) entries.push_back("host" + std::to_string(i * 7919 % 1000) + ".Example");
    KnownList list;
    list.assign(std::vector<std::string_view>(entries.begin(), entries.end()));
    for (const std::string& entry : entries) EXPECT_GE(list.FindInKnownList(asciiUpper(entry)), 0) << entry;
    EXPECT_EQ(list.FindInKnownList("host1000.example"), -1);
    EXPECT_EQ(list.FindInKnownList("aaa"), -1);
    EXPECT_EQ(list.FindInKnownList("zzz"), -1);
}

TEST(KnownList, EditorLinesAreFilteredAsTheRebuildRequires) {
    const struct {
        const char* name;
        const char* text;
        Lines kept;
    } cases[] = {
        {"neighbours differing in case", "Spam@x.com\r\nSPAM@X.COM\r\nspam@x.com\r\n", {"Spam@x.com"}},
        {"duplicates apart are both kept", "a.com\r\nb.com\r\nA.com\r\n", {"a.com", "b.com", "A.com"}},
        {"numeric local parts", "12345@x.com\r\n__@x.com\r\n@x.com\r\n1a@x.com\r\n", {"1a@x.com"}},
        {"numeric domain name kept", "12345\r\n", {"12345"}},
        {"numeric check uses the first at sign", "12@34@x\r\nab@12@x\r\n", {"ab@12@x"}},
        {"empty lines dropped", "\r\na.com\r\n\r\n\r\nb.com\r\n", {"a.com", "b.com"}},
        {"last line without line break kept", "a.com\r\nb.com", {"a.com", "b.com"}},
        {"dropped line still counts as the previous one", "1@x\r\n1@X\r\nc.com\r\n", {"c.com"}},
    };
    for (const auto& c : cases) {
        const auto kept = filterKnownListLines(c.text);
        EXPECT_EQ(Lines(kept.begin(), kept.end()), c.kept) << c.name;
    }
}

TEST(KnownList, NumericLocalPart) {
    EXPECT_TRUE(hasNumericLocalPart("12345@x"));
    EXPECT_TRUE(hasNumericLocalPart("__@x"));
    EXPECT_TRUE(hasNumericLocalPart("@x"));
    EXPECT_FALSE(hasNumericLocalPart("12345"));
    EXPECT_FALSE(hasNumericLocalPart("1-2@x"));
}

class KnownListEditorTest : public ::testing::Test {
protected:
    TempFolder folder;
    KnownList list;
    std::string path = folder.file("known.lst");
};

TEST_F(KnownListEditorTest, SaveRebuildsSortsWritesAndShowsTheResult) {
    writeFileAtomically(path, "b.com\r\na.com\r\n");
    list.LoadUpKnownList(path);
    KnownListEditor editor(list, path);
    editor.LoadMemoofKnownSpammers();
    EXPECT_EQ(editor.text, "b.com\r\na.com\r\n");
    EXPECT_TRUE(editor.readOnly);
    EXPECT_FALSE(editor.btSaveChanges.enabled);
    EXPECT_EQ(editor.lineCount(), 2u);

    editor.btEditKnownClick();
    EXPECT_FALSE(editor.readOnly);
    EXPECT_TRUE(editor.btSaveChanges.enabled);
    EXPECT_TRUE(editor.btCancelChanges.enabled);
    editor.text = "zed.org\r\nSpam@x.com\r\nspam@X.com\r\n4325154@x.com\r\nb.com\r\na.com\r\n";
    editor.topLine = 3;
    editor.btSaveChangesClick();

    EXPECT_EQ(list.entries(), (Lines{"a.com", "b.com", "Spam@x.com", "zed.org"}));
    EXPECT_EQ(*readFileBytes(path), "a.com\r\nb.com\r\nSpam@x.com\r\nzed.org\r\n");
    EXPECT_EQ(editor.text, *readFileBytes(path));
    EXPECT_EQ(editor.topLine, 3);
    EXPECT_TRUE(editor.readOnly);
    EXPECT_FALSE(editor.btSaveChanges.enabled);
    EXPECT_FALSE(editor.btCancelChanges.enabled);
    EXPECT_FALSE(editor.pnlSorting.visible);
    EXPECT_EQ(editor.lineCount(), 4u);
}

TEST_F(KnownListEditorTest, CancelDropsTheEdits) {
    writeFileAtomically(path, "a.com\r\n");
    KnownListEditor editor(list, path);
    editor.LoadMemoofKnownSpammers();
    editor.btEditKnownClick();
    editor.text = "changed\r\n";
    editor.btCancelChangesClick();
    EXPECT_EQ(editor.text, "a.com\r\n");
    EXPECT_TRUE(editor.readOnly);
    EXPECT_FALSE(editor.btSaveChanges.enabled);
}

// Edit, then Save with nothing changed: a sorted file keeps every byte,
// whatever its lines are written in.
TEST_F(KnownListEditorTest, SavingUnchangedTextKeepsTheFileBytes) {
    const struct {
        const char* name;
        std::string file;
        std::string shown;
    } cases[] = {
        {"ASCII", "a.example\r\nb.example\r\n", "a.example\r\nb.example\r\n"},
        {"line feeds", "a.example\nb.example\n", "a.example\nb.example\n"},
        {"line feeds, Latin-1", "m\xFCller.example\nzed.example\n", "m\xC3\xBCller.example\nzed.example\n"},
        {"UTF-8", "\xC3\xA9t\xC3\xA9.example\r\n", "\xC3\xA9t\xC3\xA9.example\r\n"},
        {"one Latin-1 line among UTF-8", "m\xFCller.example\r\n\xC3\xA9t\xC3\xA9.example\r\n",
         "m\xC3\xBCller.example\r\n\xC3\xA9t\xC3\xA9.example\r\n"},
        {"Windows-1252 quotes", "\x93q\x94.example\r\n", "\xE2\x80\x9Cq\xE2\x80\x9D.example\r\n"},
        {"a UTF-8 and a Latin-1 line that show alike", "m\xC3\xBCller.example\r\nm\xFCller.example\r\n",
         "m\xC3\xBCller.example\r\nm\xC3\xBCller.example\r\n"},
        {"a cut UTF-8 sequence", "a\xC3.example\r\n", "a\xC3\x83.example\r\n"},
        {"an overlong form", "\xC0\xAF.example\r\n", "\xC3\x80\xC2\xAF.example\r\n"},
        {"a surrogate", "\xED\xA0\x80.example\r\n", "\xC3\xAD\xC2\xA0\xE2\x82\xAC.example\r\n"},
    };
    for (const auto& c : cases) {
        writeFileAtomically(path, c.file);
        KnownListEditor editor(list, path);
        editor.LoadMemoofKnownSpammers();
        EXPECT_EQ(editor.text, c.shown) << c.name;
        editor.btEditKnownClick();
        // As a text view hands it back: line feeds only.
        std::string viewText = editor.text;
        std::erase(viewText, '\r');
        editor.text = viewText;
        editor.btSaveChangesClick();
        EXPECT_EQ(*readFileBytes(path), c.file) << c.name;
        EXPECT_EQ(editor.text, c.shown) << c.name;
    }
}

TEST_F(KnownListEditorTest, EachOpeningIsCounted) {
    writeFileAtomically(path, "a.com\r\n");
    KnownListEditor editor(list, path);
    editor.LoadMemoofKnownSpammers();
    const std::uint64_t first = editor.opened;
    editor.btEditKnownClick();
    editor.btCancelChangesClick();
    EXPECT_GT(editor.opened, first);
}

TEST_F(KnownListEditorTest, WithoutTheFileTheListIsRebuiltInMemoryOnly) {
    KnownListEditor editor(list, path);
    editor.LoadMemoofKnownSpammers();
    EXPECT_TRUE(editor.pnlSorting.visible);
    EXPECT_EQ(editor.pnlSorting.caption, "Could not locate the known spammer blacklist!");
    EXPECT_FALSE(editor.btEditKnown.visible);
    EXPECT_FALSE(editor.btSaveChanges.visible);
    EXPECT_FALSE(editor.btCancelChanges.visible);

    editor.text = "b.com\r\na.com\r\n";
    editor.btSaveChangesClick();
    EXPECT_EQ(list.entries(), (Lines{"a.com", "b.com"}));
    EXPECT_FALSE(fileExists(path));
}

}  // namespace
}  // namespace quorvel
