// The steps of one table of a run, numbered as the error report shows them.
#include "conversion/table_writer.h"

#include "conversion/sql_text.h"
#include "conversion/statement_batch.h"
#include "core/error_report.h"
#include "core/main_form.h"
#include "platform/event_loop.h"
#include "platform/source_connection.h"

#include <algorithm>
#include <limits>
#include <optional>
#include <stdexcept>
#include <vector>

namespace conversion {

namespace {

// Once per table whose texts held bytes that its code page could not decode:
// they were written as U+FFFD, and another code page may read them.
void ReportUndecodableBytes(const std::string& table, const platform::SourceRecordset& records,
                            const std::string& codePageChoice)
{
    const std::uint64_t bytes = records.undecodableBytes();
    if (bytes == 0)
        return;
    throw std::runtime_error(std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes") + " of the table " + table +
                             " could not be decoded from " +
                             records.codePage() + " and were written as U+FFFD. Another code page (" +
                             codePageChoice + ") may read them.");
}

// Once per table whose records differ from its header's count, or whose data
// blocks do not chain as its header says: the records that could be read were
// written all the same.
void ReportDamage(const std::string& table, const platform::SourceRecordset& records)
{
    if (const auto damage = records.damage())
        throw std::runtime_error("The table " + table + " is damaged: " + *damage +
                                 ". The records that could be read were written.");
}

// Once per table whose values its column types could not hold: they were written NULL.
void ReportOutOfRange(const std::string& table, std::int64_t values)
{
    if (values == 0)
        return;
    const bool one = values == 1;
    throw std::runtime_error(std::to_string(values) + (one ? " value of the table " : " values of the table ") + table
                             + (one ? " lies outside what its column type holds" : " lie outside what their column types hold")
                             + " (a date outside the years 1 to 9999, a time outside the day, a currency beyond "
                               "MONEY's range) and " + (one ? "was" : "were") + " written as NULL.");
}

// Once per field whose values after the first could not be read either.
void ReportMoreUnreadable(std::int64_t values, const std::string& field)
{
    throw std::runtime_error(std::to_string(values) + (values == 1 ? " more value" : " more values")
                             + " of the field " + field
                             + " could not be read, as the first one reported, and "
                             + (values == 1 ? "was" : "were") + " written as NULL.");
}

// The start of every report of a key that was not made: what the table keeps.
std::string KeyNotMade(const std::string& table, std::int64_t records, std::int64_t refused)
{
    const std::string key = " without the primary key " + KeyName(table) + ": ";
    if (refused <= 0)
        return "The table " + table + " keeps all its records" + key;
    const std::int64_t arrived = records - refused;
    return "The table " + table + " keeps the " + std::to_string(arrived) + (arrived == 1 ? " record" : " records")
        + " that arrived (" + std::to_string(refused) + " of its " + std::to_string(records)
        + (refused == 1 ? " was" : " were") + " refused)" + key;
}

// The step of a record's insert in direct mode.
constexpr int kInsertStep = 416;

// A statement's tag in the batch: its record (from 0) for an insert, else its
// step, negated, so that a refusal the batch reports later names its record.
int Tag(int step, std::int64_t record)
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
    void writeCreate(TableScript& script);
    void writeRecords(const TableScript& script, InsertBuilder& builder);
    void convertRecords(InsertBuilder& builder, int fields);
    void addValues(InsertBuilder& builder, int fields, UnreadableValues& unreadable);
    void addKey(const TableScript& script, const InsertBuilder& builder);
    void reportReading();
    // kind: what the writer knows of the statement, having built it; record:
    // the record it holds, for the report of its failure.
    void statement(int previewStep, int executeStep, const std::string& sql, StatementBatch::Kind kind,
                   std::int64_t record = -1);
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
    std::int64_t refusedRecords_ = 0;  // inserts the server refused: what a key report counts out
};

TableWritten TableWriter::write()
{
    if (job_.dropFirst)
        statement(178, 180, DropStatement(name_), StatementBatch::Kind::Other);
    op_.step(184, [&] { form_.setProgressText("Please wait.. Processing table " + name_); });

    TableScript script(road_.options.columnTypes, road_.dialect);
    writeCreate(script);
    InsertBuilder builder(script, road_.regional, road_.events);
    builder.setTransferBinary(road_.options.transferBinary);
    writeRecords(script, builder);
    op_.setRecord(-1);  // what follows concerns the whole table
    // Before anything else may use the connection (the key, the preview, the
    // next table's question, the close) the table's rows are on the server for good.
    batch_.reset();
    op_.step(421, [&] { ReportOutOfRange(name_, builder.outOfRangeValues()); });
    addKey(script, builder);
    reportReading();
    return written_;
}

void TableWriter::writeCreate(TableScript& script)
{
    platform::SourceRecordset& records = job_.records;
    op_.step(188, [&] { script.start(name_); });
    int fields = 0;
    op_.step(194, [&] {
        fields = records.fieldCount();
        script.setKeyFieldCount(records.keyFieldCount());
    });
    for (int f = 0; f < fields; ++f) {
        op_.step(196, [&] {
            road_.events.yield();
            const FieldShape shape{records.fieldSize(f), records.fieldScale(f), records.fieldAutoIncrement(f)};
            script.addField(f, records.fieldName(f), records.fieldType(f), shape, &road_.handOff.datatypes.list());
        });
    }
    op_.step(304, [&] { script.finishCreate(); });
    statement(310, 312, script.createStatement(), StatementBatch::Kind::Other);
    // From now on the table counts as existing, so a second table of the same
    // name in this run asks before it overwrites this one.
    op_.step(314, [&] { form_.List1().push_back(name_); });
}

// The inserts, between the identity switch's ON and OFF where the table has an identity column.
void TableWriter::writeRecords(const TableScript& script, InsertBuilder& builder)
{
    bool hasRecords = false;
    if (!op_.step(316, [&] { hasRecords = !job_.records.eof() && !job_.records.bof(); }) || !hasRecords)
        return;
    // An identity column takes the values given only while it is asked to.
    const std::string identityOn = script.hasIdentity() ? IdentityInsert(script.dialect(), name_, true) : "";
    if (!identityOn.empty()) {
        written_.identityOff = IdentityInsert(script.dialect(), name_, false);
        statement(317, 317, identityOn, StatementBatch::Kind::Other);
    }
    convertRecords(builder, script.fieldCount());
    if (!written_.identityOff.empty())
        statement(419, 419, written_.identityOff, StatementBatch::Kind::Other);
}

void TableWriter::convertRecords(InsertBuilder& builder, int fields)
{
    platform::SourceRecordset& records = job_.records;
    std::int64_t n = 0;
    op_.step(318, [&] { n = records.recordCount(); });
    std::int64_t c = 0;
    UnreadableValues unreadable(fields);
    for (;;) {
        op_.step(320, [&] { road_.events.yield(); });
        ++c;
        result_.recordsRead = c;
        op_.setRecord(c - 1);
        op_.step(326, [&] {
            form_.setProgressValue((static_cast<double>(c) + 1) / (static_cast<double>(n) + 1) * 100);
        });
        op_.step(328, [&] { builder.begin(); });
        addValues(builder, fields, unreadable);
        statement(406, kInsertStep, builder.finish(), StatementBatch::Kind::Insert, c - 1);
        // A record the reader cannot move past ends the table: the loop stays bounded.
        if (!op_.step(418, [&] { records.moveNext(); }))
            break;
        bool more = false;
        if (!op_.step(420, [&] { more = !records.eof(); }) || !more)
            break;
    }
    op_.setRecord(-1);
    for (std::size_t f = 0; f < unreadable.after.size(); ++f) {
        if (unreadable.after[f] > 0)
            op_.step(334, [&] { ReportMoreUnreadable(unreadable.after[f], records.fieldName(static_cast<int>(f))); });
    }
}

// The record's values, field by field. A value that cannot be read is reported
// (the first of its field) and written NULL; the record goes on.
void TableWriter::addValues(InsertBuilder& builder, int fields, UnreadableValues& unreadable)
{
    platform::SourceRecordset& records = job_.records;
    for (int f = 0; f < fields; ++f) {
        // Byte data written NULL is never read (a picture can be megabytes).
        if (!builder.needsValue(f)) {
            builder.add(f, paradox::Value::null());
            continue;
        }
        const auto at = static_cast<std::size_t>(f);
        if (unreadable.reported[at]) {
            try {
                builder.add(f, records.value(f));
            } catch (...) {
                ++unreadable.after[at];
                builder.add(f, paradox::Value::null());
            }
        } else if (!op_.step(334, [&] { builder.add(f, records.value(f)); })) {
            unreadable.reported[at] = true;
            builder.add(f, paradox::Value::null());
        }
    }
}

void TableWriter::statement(int previewStep, int executeStep, const std::string& sql, StatementBatch::Kind kind,
                            std::int64_t record)
{
    if (!direct()) {
        op_.step(previewStep, [&] { road_.handOff.preview.list().append(sql); });
        return;
    }
    if (!road_.handOff.mssql_conn)
        return;  // its creation failed and was reported
    if (!batch_) {
        // A statement that runs alone is executed and reported as it always was.
        auto runAlone = [this](const std::string& s, int tag) {
            if (!batchStep(tag, [&] { road_.handOff.mssql_conn->execute(s); })) {
                ++written_.statements.refused;
                refusedRecords_ += tag >= 0 ? 1 : 0;
            }
            return StatementBatch::Next::Continue;
        };
        // Statements whose fate the server left in doubt: reported, never run again.
        auto report = [this](const std::string& description, int tag) {
            ++written_.statements.inDoubt;
            batchStep(tag, [&] { throw std::runtime_error(description); });
            return StatementBatch::Next::Continue;
        };
        batch_.emplace(road_.handOff.mssql_conn.get(), runAlone, report, &road_.events,
                       road_.options.transactions);
    }
    ++written_.statements.sent;
    batch_->execute(sql, Tag(executeStep, record), kind);
}

template <typename F>
bool TableWriter::batchStep(int tag, F&& action)
{
    const std::int64_t at = op_.record();
    op_.setRecord(tag >= 0 ? tag : -1);
    const bool ran = op_.step(tag >= 0 ? kInsertStep : -tag, std::forward<F>(action));
    op_.setRecord(at);
    return ran;
}

// Under SQL Server column types a keyed table gets its primary key after its
// rows, so that no record is lost to the key: where it cannot be made (a key
// field blank, values that collide under the server's collation, a key over
// the server's size limit of an index entry) that is reported once and the
// table keeps every row without it.
void TableWriter::addKey(const TableScript& script, const InsertBuilder& builder)
{
    if (script.keyFieldCount() == 0)
        return;
    if (const std::int64_t blank = builder.blankKeyRecords(); blank > 0) {
        op_.step(421, [&] {
            throw std::runtime_error(KeyNotMade(name_, result_.recordsRead, refusedRecords_) + "its key field " +
                                     script.fieldName(builder.firstBlankKeyField()) + " is blank in " +
                                     std::to_string(blank) + (blank == 1 ? " record." : " records."));
        });
        return;
    }
    for (const std::string& sql : script.keyStatements()) {
        if (!direct()) {
            op_.step(421, [&] { road_.handOff.preview.list().append(sql); });
            continue;
        }
        if (!road_.handOff.mssql_conn)
            return;
        ++written_.statements.sent;
        const bool made = op_.step(421, [&] {
            try {
                road_.handOff.mssql_conn->execute(sql);
            } catch (const std::exception& e) {
                throw std::runtime_error(KeyNotMade(name_, result_.recordsRead, refusedRecords_) + e.what());
            }
        });
        if (!made) {
            ++written_.statements.refused;
            return;
        }
    }
}

// What reading the table found: bytes its code page could not decode, damage.
void TableWriter::reportReading()
{
    platform::SourceRecordset& records = job_.records;
    op_.step(421, [&] {
        result_.undecodableBytes = records.undecodableBytes();
        ReportUndecodableBytes(name_, records, road_.options.codePageChoice);
    });
    op_.step(421, [&] {
        result_.recordCountMismatch = records.damage().has_value();
        ReportDamage(name_, records);
    });
    op_.step(422, [&] { records.close(); });
}

}  // namespace

TableWritten WriteTable(const TableRoad& road, const TableJob& job, TableResult& result)
{
    return TableWriter(road, job, result).write();
}

void CountStatements(const StatementTally& statements, int reports, TableResult& result)
{
    result.refused = statements.refused;
    // A statement in doubt was reported, and is counted through until the server is asked.
    result.statementsThrough = statements.sent - statements.refused;
    result.failures = reports - static_cast<int>(statements.refused);
}

}  // namespace conversion
