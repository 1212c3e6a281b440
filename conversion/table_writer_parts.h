// The writer of one table of a run. Its steps and statements are in
// table_writer.cpp, its records in table_records.cpp.
#pragma once

#include "conversion/bulk_sender.h"
#include "conversion/read_ahead.h"
#include "conversion/sql_text.h"
#include "conversion/statement_batch.h"
#include "conversion/table_writer.h"
#include "core/error_report.h"
#include "core/main_form.h"

#include <algorithm>
#include <limits>
#include <optional>
#include <vector>

namespace conversion::table_writing {

// The step of a record's insert in direct mode.
constexpr int kInsertStep = 416;

// A statement's tag in the batch: its record (from 0) for an insert, else its
// step, negated, so that a refusal the batch reports later names its record.
inline int Tag(int step, std::int64_t record)
{
    return record >= 0 ? static_cast<int>(std::min<std::int64_t>(record, std::numeric_limits<int>::max())) : -step;
}

// Per field, the values that could not be read: a missing or damaged .MB file
// fails every memo and picture of the table, and one report per field says
// it, not one per value.
struct UnreadableValues {
    explicit UnreadableValues(int fields)
        : after(static_cast<std::size_t>(std::max(fields, 0)), 0), reported(after.size(), false)
    {
    }
    std::vector<std::int64_t> after;  // those after the first, which was reported
    std::vector<bool> reported;
};

class TableWriter {
public:
    TableWriter(const TableRoad& road, const TableJob& job, TableResult& result)
        : road_(road), op_(road.op), form_(road.form), job_(job), name_(job.name), result_(result)
    {
    }

    TableWritten write();

private:
    bool writeCreate(TableScript& script, bool send);
    void countOnServer();
    bool createTable(const std::string& sql);
    void writeRecords(const TableScript& script, InsertBuilder& builder);
    void convertRecords(InsertBuilder& builder, int fields);
    void sendRecords(InsertBuilder& builder, int fields, std::int64_t n, std::int64_t c, UnreadableValues& unreadable);
    void readRecord(InsertBuilder& builder, int fields, UnreadableValues& unreadable, ReadRecord& record);
    bool skipRecords(std::int64_t& c);
    bool takeRecord(std::int64_t& c, std::int64_t n);
    void reportMoreUnreadable(const UnreadableValues& unreadable);
    // `step` runs a step that may fail; `again` takes the fields whose value
    // failed again after their report (counted at once without it).
    template <typename Step>
    void addValues(InsertBuilder& builder, int fields, UnreadableValues& unreadable, Step&& step,
                   std::vector<int>* again = nullptr);
    bool addKey(const TableScript& script, const InsertBuilder& builder);
    void readRules(const TableScript& script);
    void writeRules(bool keyMade);
    void reportReading();
    // kind: what the writer knows of the statement, having built it; record:
    // the record it holds, for the report of its failure.
    void statement(int previewStep, int executeStep, const std::string& sql, StatementBatch::Kind kind,
                   std::int64_t record = -1);
    void executeUnlessLost(const std::string& sql, int tag);
    StatementBatch::Next inDoubt(const std::string& description, int tag, StatementBatch::InDoubt doubt);
    // With "Bulk Copy", from the table's first insert on: whether its rows go
    // to the bulk sender (which sends as INSERTs what the load does not take).
    bool bulkRoad();
    // The load's last rows stored: anything else on the connection comes after them.
    void finishBulk();
    void noteLoss(const std::string& driverText, std::int64_t record);
    // The connection is gone: nothing more of the table is sent.
    bool lost();
    void endBatch();
    // A step for the batch's statement of that tag, reported with its record.
    template <typename F>
    bool batchStep(int tag, F&& action);
    bool direct() { return !form_.previewMode(); }

    const TableRoad& road_;
    core::GuardedOperation& op_;
    core::MainForm& form_;
    const TableJob& job_;
    const std::string& name_;
    TableResult& result_;
    TableWritten written_;
    // Direct mode's transactions: committed before the key is added, so that
    // the key never waits on the rows.
    std::optional<StatementBatch> batch_;
    std::optional<BulkSender> bulk_;
    bool bulkAsked_ = false;
    bool createRefused_ = false;
    // The table's rules, under SQL Server column types when the user wants them.
    std::optional<RulePlan> rules_;
    // Direct mode: the builder's yields on the reading thread, and what reading
    // had found by the last record taken when the run ended before the reading.
    CountedYields readingYields_;
    std::optional<ReadRecord> endedAt_;
};

}  // namespace conversion::table_writing
