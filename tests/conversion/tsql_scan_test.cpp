// The T-SQL scanner alone: which statements may share a transaction.
#include "conversion/tsql_scan.h"

#include <gtest/gtest.h>

TEST(TsqlScan, OnlySingleInsertsThatLeaveTheTransactionAloneAreBatchable)
{
    const struct {
        const char* statement;
        bool batchable;
    } cases[] = {
        {"INSERT INTO [T] VALUES(1, 'a')", true},
        {"  insert\tinto t values(1)", true},
        {"INSERT INTO [T] VALUES(1, 'a;b; COMMIT')", true},
        {"INSERT INTO [begin;]] commit] VALUES('it''s; rollback')", true},
        {"INSERT INTO t VALUES(1); \r\n", true},
        {"INSERT INTO t /* ; commit */ VALUES(1)", true},
        {"INSERT INTO t VALUES(1); DELETE FROM t", false},
        {"INSERT INTO t VALUES(1) COMMIT", false},  // T-SQL needs no ";" between statements
        {"INSERT INTO t VALUES(1) begin tran", false},
        {"INSERT INTO t EXEC fill", false},
        {"INSERT INTO t VALUES(1); -- done", false},
        {"INSERTED", false},
        {"INSERT", false},
        {"CREATE TABLE [T]([ID] INT);", false},
        {"DROP TABLE [T]", false},
        {"UPDATE t SET a = 1", false},
        {"", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(conversion::Batchable(c.statement), c.batchable) << c.statement;
}
