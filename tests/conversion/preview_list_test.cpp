// The preview hand-off: lines by 1-based row in the order added, edits, what
// ran, the datatype records, and the rule that closing a window discards its list.
#include "conversion/preview_handoff.h"

#include <gtest/gtest.h>

#include <string>

using namespace conversion;

TEST(PreviewList, RowsFromOneInTheOrderAdded)
{
    PreviewList list;
    EXPECT_EQ(list.count(), 0);
    list.append("CREATE TABLE [T]([A] TEXT);");
    list.append("");
    list.append("INSERT INTO [T] VALUES('x')");
    ASSERT_EQ(list.count(), 3);
    EXPECT_EQ(list.text(1), "CREATE TABLE [T]([A] TEXT);");
    EXPECT_EQ(list.text(2), "");
    EXPECT_EQ(list.text(3), "INSERT INTO [T] VALUES('x')");
    EXPECT_THROW(list.text(0), std::out_of_range);
    EXPECT_THROW(list.text(4), std::out_of_range);

    list.setText(2, "line\r\nwith break");
    EXPECT_EQ(list.text(2), "line\r\nwith break");
    EXPECT_EQ(list.text(3), "INSERT INTO [T] VALUES('x')");
    list.select(3);
    EXPECT_EQ(list.selectedRow(), 3);
    EXPECT_THROW(list.select(9), std::out_of_range);

    list.clear();
    EXPECT_EQ(list.count(), 0);
    EXPECT_EQ(list.selectedRow(), 0);
}

TEST(PreviewList, HugeLinesManyLinesAndRepeatedEditsKeepEveryText)
{
    PreviewList list;
    const std::string memo(1 << 20, 'm');  // a 1 MB memo in one statement
    for (int i = 0; i < 5000; ++i)
        list.append(i % 1000 == 7 ? memo : "INSERT " + std::to_string(i));
    // Edit the same rows many times, so old bytes pile up and get reclaimed.
    for (int round = 0; round < 40; ++round) {
        for (int row = 1; row <= list.count(); row += 3)
            list.setText(row, "EDIT " + std::to_string(round) + " " + std::to_string(row)
                                  + std::string(static_cast<std::size_t>(row % 50), 'x'));
    }
    for (int row = 1; row <= list.count(); ++row) {
        const int i = row - 1;
        std::string expected = (row - 1) % 3 == 0
            ? "EDIT 39 " + std::to_string(row) + std::string(static_cast<std::size_t>(row % 50), 'x')
            : (i % 1000 == 7 ? memo : "INSERT " + std::to_string(i));
        ASSERT_EQ(list.text(row), expected) << row;
    }
    // Emptied after every line, as the headless script does: the list reuses its room.
    for (int i = 0; i < 3000; ++i) {
        list.clear();
        const std::string line = i % 1000 == 7 ? memo : "INSERT " + std::to_string(i);
        list.append(line);
        list.append("GO");
        ASSERT_EQ(list.text(1), line) << i;
        ASSERT_EQ(list.text(2), "GO") << i;
    }
}

TEST(PreviewList, ObserverHearsEveryChange)
{
    struct Recorder : ListObserver {
        std::string log;
        void listReset() override { log += "reset;"; }
        void rowsAppended(int first, int last) override
        {
            log += "add" + std::to_string(first) + "-" + std::to_string(last) + ";";
        }
        void rowChanged(int row) override { log += "change" + std::to_string(row) + ";"; }
        void rowSelected(int row) override { log += "select" + std::to_string(row) + ";"; }
    } recorder;
    PreviewList list;
    list.setObserver(&recorder);
    list.append("a");
    list.append("b");
    list.setText(1, "c");
    list.select(2);
    // Rows 1 and 2 sent, row 1 edited before the commit: only row 2 has run.
    list.markSent(1);
    list.markSent(2);
    list.setText(1, "d");
    list.settleSent(1, 2, LineState::Ran);
    EXPECT_EQ(list.state(1), LineState::NotRun);
    EXPECT_EQ(list.state(2), LineState::Ran);
    list.clear();
    EXPECT_EQ(recorder.log, "add1-1;add2-2;change1;select2;change1;change2;reset;");
}

TEST(DatatypeList, RecordsOfFourTexts)
{
    DatatypeList list;
    EXPECT_THROW(list.setSubItem(1, "x"), std::out_of_range);
    list.append("ORDERS");
    list.setSubItem(1, "ID");
    list.setSubItem(2, "int");
    list.setSubItem(3, "INT");
    EXPECT_THROW(list.setSubItem(4, "x"), std::out_of_range);
    ASSERT_EQ(list.count(), 1);
    const auto& r = list.record(1);
    EXPECT_EQ(r.table, "ORDERS");
    EXPECT_EQ(r.field, "ID");
    EXPECT_EQ(r.paradoxType, "int");
    EXPECT_EQ(r.sqlType, "INT");
}

TEST(PreviewHandOff, ClosingAWindowDiscardsItsListAndTheNextAccessLoadsItAgain)
{
    PreviewHandOff handOff;
    int previewLoads = 0, datatypeLoads = 0;
    handOff.preview.onLoad = [&] { ++previewLoads; };
    handOff.datatypes.onLoad = [&] { ++datatypeLoads; };

    handOff.preview.list().append("DROP TABLE [A]");
    handOff.preview.list().append("CREATE TABLE [A]([X] TEXT);");
    handOff.datatypes.list().append("A");
    EXPECT_EQ(previewLoads, 1);
    EXPECT_EQ(datatypeLoads, 1);

    handOff.preview.closed();
    handOff.datatypes.closed();
    EXPECT_FALSE(handOff.preview.loaded());
    EXPECT_EQ(handOff.preview.list().count(), 0);
    EXPECT_EQ(handOff.datatypes.list().count(), 0);
    EXPECT_EQ(previewLoads, 2);
    EXPECT_EQ(datatypeLoads, 2);

    EXPECT_FALSE(handOff.SQLFormOK);
    EXPECT_FALSE(handOff.SQLFormCancel);
    EXPECT_EQ(handOff.mssql_conn, nullptr);
}
