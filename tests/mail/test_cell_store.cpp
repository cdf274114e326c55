// The compact store of the record list's texts: every cell reads back as it went in, also in
// rows that outgrow two-byte offsets and around them.
#include <gtest/gtest.h>

#include <string>

#include "mail/CellStore.h"

namespace {

TEST(CellStoreTest, CellsReadBackAsTheyWentIn)
{
    CCellStore store;
    store.Clear(3);
    store.ReserveRows(2);
    store.AddRow();
    store.AppendCell("Ann");
    store.AppendCell("");
    store.AppendCell("Zürich");
    store.AddRow();
    store.AppendCell("Bob"); // the two cells never set read as empty
    store.AddRow(); // a row with no cell set at all
    store.AppendCell("x");
    store.AppendCell("y");
    store.AppendCell("z");
    store.AppendCell("dropped"); // beyond the columns

    ASSERT_EQ(store.RowCount(), 3u);
    EXPECT_EQ(store.Cell(0, 0), "Ann");
    EXPECT_EQ(store.Cell(0, 1), "");
    EXPECT_EQ(store.Cell(0, 2), "Zürich");
    EXPECT_EQ(store.Cell(1, 0), "Bob");
    EXPECT_EQ(store.Cell(1, 1), "");
    EXPECT_EQ(store.Cell(1, 2), "");
    EXPECT_EQ(store.Cell(2, 2), "z");
    EXPECT_EQ(store.Cell(3, 0), ""); // no such row
    EXPECT_EQ(store.Cell(0, 3), ""); // no such column

    store.Clear(1);
    EXPECT_EQ(store.RowCount(), 0u);
    store.AppendCell("no row yet"); // ignored
    EXPECT_EQ(store.RowCount(), 0u);
}

TEST(CellStoreTest, LongRowsAndManyRowsKeepEveryText)
{
    CCellStore store;
    store.Clear(4);
    const std::string strMemo(70000, 'm');
    const std::string strEdge(65535 - 3, 'e'); // makes the row end exactly at 65535
    for (int nRow = 0; nRow < 20000; ++nRow) {
        store.AddRow();
        store.AppendCell(std::to_string(nRow));
        if (nRow == 7) {
            store.AppendCell(strMemo); // outgrows two-byte ends in its second cell
            store.AppendCell("after");
        } else if (nRow == 8) {
            store.AppendCell("ab");
            store.AppendCell(strEdge);
        } else {
            store.AppendCell("user" + std::to_string(nRow) + "@example.org");
            store.AppendCell("Town");
        }
    }
    EXPECT_EQ(store.Cell(7, 0), "7");
    EXPECT_EQ(store.Cell(7, 1), strMemo);
    EXPECT_EQ(store.Cell(7, 2), "after");
    EXPECT_EQ(store.Cell(7, 3), "");
    EXPECT_EQ(store.Cell(8, 1), "ab");
    EXPECT_EQ(store.Cell(8, 2), strEdge);
    EXPECT_EQ(store.Cell(8, 3), "");
    EXPECT_EQ(store.Cell(6, 1), "user6@example.org");
    EXPECT_EQ(store.Cell(9, 1), "user9@example.org");
    EXPECT_EQ(store.Cell(19999, 0), "19999");
    EXPECT_EQ(store.Cell(19999, 1), "user19999@example.org");
    EXPECT_EQ(store.Cell(19999, 2), "Town");
}

} // namespace
