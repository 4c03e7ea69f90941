// SPDX-License-Identifier: GPL-2.0-or-later
// The frame table on its own: row texts, the comparison and the sort.
#include <gtest/gtest.h>

#include <QSignalSpy>

#include "framelist/frame_table.h"

using namespace framelist;

namespace {

void Fill(FrameTable& table, const std::vector<int>& frames) {
    for (int frame : frames) table.appendRow(MakeFrameRow(frame));
    table.publishRows();
}

std::vector<QString> ColumnOf(const FrameTable& table, int column) {
    std::vector<QString> cells;
    for (int i = 0; i < table.size(); ++i) cells.push_back(table.cell(i, column));
    return cells;
}

}  // namespace

TEST(FrameTableTest, NewRowHoldsTheTextsOfItsFrame) {
    struct Case {
        int frame;
        const char* num;
        const char* nom;
    };
    for (const Case& c :
         {Case{0, "0", "00000"}, Case{7, "7", "00007"}, Case{42, "42", "00042"}, Case{123456, "123456", "123456"}}) {
        const FrameRow row = MakeFrameRow(c.frame);
        SCOPED_TRACE(c.frame);
        EXPECT_EQ(row.cells[kColMark], "");
        EXPECT_EQ(row.cells[kColNum], c.num);
        EXPECT_EQ(row.cells[kColRep], "Vue AVI");
        EXPECT_EQ(row.cells[kColNom], c.nom);
        EXPECT_EQ(row.cells[kColQualite], "");
        EXPECT_EQ(row.cells[kColZone], "");
        EXPECT_EQ(row.cells[kColExtra], "");
        EXPECT_EQ(row.cells[kColTaille], "0");
        EXPECT_EQ(row.cells[kColTri], "0");
        EXPECT_FALSE(row.marked());
    }
}

TEST(FrameTableTest, ModelShowsCaptionsAndCellTexts) {
    FrameTable table;
    Fill(table, {3, 12});
    const QStringList captions{"Sél.", "Num.", "Rep.", "Nom", "Qualité", "Zône", "Extra", "Taille", "Tri"};
    ASSERT_EQ(table.columnCount(), 9);
    for (int c = 0; c < 9; ++c) EXPECT_EQ(table.headerData(c, Qt::Horizontal).toString(), captions[c]);
    EXPECT_EQ(table.rowCount(), 2);
    EXPECT_EQ(table.data(table.index(1, kColNum)).toString(), "12");
    EXPECT_EQ(table.data(table.index(1, kColNom)).toString(), "00012");
}

TEST(FrameTableTest, TextComparisonFoldsOnlyAsciiLetters) {
    struct Case {
        const char* a;
        const char* b;
        int sign;
    };
    const Case cases[] = {
        {"abc", "ABC", 0}, {"Vue AVI", "vue avi", 0},
        {"", "a", -1},     {"a", "", 1},
        {"ab", "abc", -1}, {"X", "", 1},
        {"9", "10", 1},    {"é", "É", 1},
        {"a", "B", -1},    {"Z", "a", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.a) + " vs " + c.b);
        const int result = CompareText(QString::fromUtf8(c.a), QString::fromUtf8(c.b));
        EXPECT_EQ((result > 0) - (result < 0), c.sign);
    }
}

TEST(FrameTableTest, NumCompareIsNumericAndTriLargestFirst) {
    FrameTable table;
    Fill(table, {9, 10, 2});
    table.setNumber(0, kColTri, 9876);
    table.setNumber(1, kColTri, 10234);
    table.setNumber(2, kColTri, 0);

    table.sortBy(kColNum);
    EXPECT_EQ(ColumnOf(table, kColNum), (std::vector<QString>{"2", "9", "10"}));
    table.sortBy(kColTri);
    EXPECT_EQ(ColumnOf(table, kColTri), (std::vector<QString>{"10234", "9876", "0"}));
    // No toggling: the same header sorts the same way again.
    table.sortBy(kColTri);
    EXPECT_EQ(ColumnOf(table, kColTri), (std::vector<QString>{"10234", "9876", "0"}));
    table.sortBy(kColNom);
    EXPECT_EQ(ColumnOf(table, kColNum), (std::vector<QString>{"2", "9", "10"}));
}

TEST(FrameTableTest, SortIsStableAndMovesWholeRows) {
    FrameTable table;
    Fill(table, {4, 3, 2, 1, 0});
    table.setMark(1, true);
    table.setCell(3, kColQualite, "7");
    // Every "Rep." cell is equal: the order stays as it was.
    table.sortBy(kColRep);
    EXPECT_EQ(ColumnOf(table, kColNum), (std::vector<QString>{"4", "3", "2", "1", "0"}));
    table.sortBy(kColNum);
    EXPECT_EQ(table.cell(3, kColMark), "X");
    EXPECT_EQ(table.cell(1, kColQualite), "7");
    // Marked rows ("X") sort after unmarked ones (empty text first).
    table.sortBy(kColMark);
    EXPECT_EQ(table.cell(4, kColNum), "3");
}

TEST(FrameTableTest, ChangesReachViewsAsOneRange) {
    FrameTable table;
    Fill(table, {0, 1, 2, 3, 4, 5});
    QSignalSpy changed(&table, &QAbstractItemModel::dataChanged);
    table.setMark(1, true);
    table.setNumber(4, kColTri, 55);
    EXPECT_EQ(changed.count(), 0);
    table.flushChanges();
    ASSERT_EQ(changed.count(), 1);
    const auto first = changed[0][0].value<QModelIndex>();
    const auto last = changed[0][1].value<QModelIndex>();
    EXPECT_EQ(first.row(), 1);
    EXPECT_EQ(last.row(), 4);
    EXPECT_EQ(first.column(), kColMark);
    EXPECT_EQ(last.column(), kColTri);
    table.flushChanges();
    EXPECT_EQ(changed.count(), 1);
}

TEST(FrameTableTest, AppendedRowsAppearWhenPublished) {
    FrameTable table;
    table.appendRow(MakeFrameRow(0));
    table.appendRow(MakeFrameRow(1));
    EXPECT_EQ(table.size(), 2);
    EXPECT_EQ(table.rowCount(), 0);
    table.publishRows();
    EXPECT_EQ(table.rowCount(), 2);
    table.clear();
    EXPECT_EQ(table.rowCount(), 0);
    EXPECT_EQ(table.size(), 0);
}
