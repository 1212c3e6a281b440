// The steps of one table of a run, numbered as the error report shows them.
#include "conversion/table_writer.h"

#include "conversion/bulk_sender.h"
#include "conversion/sql_text.h"
#include "conversion/table_reports.h"
#include "conversion/statement_batch.h"
#include "conversion/row_count.h"
#include "core/error_report.h"
#include "core/main_form.h"
#include "platform/event_loop.h"
#include "platform/source_connection.h"
#include "platform/stop_request.h"

#include <algorithm>
#include <limits>
#include <optional>
#include <stdexcept>
#include <vector>

namespace conversion {

namespace {

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
    bool writeCreate(TableScript& script, bool send);
    void countOnServer();
    bool createTable(const std::string& sql);
    void writeRecords(const TableScript& script, InsertBuilder& builder);
    void convertRecords(InsertBuilder& builder, int fields);
    bool skipRecords(std::int64_t& c);
    void addValues(InsertBuilder& builder, int fields, UnreadableValues& unreadable);
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
};

TableWritten TableWriter::write()
{
    if (job_.dropFirst)
        statement(178, 180, DropStatement(road_.dialect, name_), StatementBatch::Kind::Other);
    op_.step(184, [&] { form_.setProgressText("Please wait.. Processing table " + name_); });

    TableScript script(road_.options.columnTypes, road_.dialect);
    if (!writeCreate(script, !job_.continues)) {
        // Nothing of the table is sent into whatever holds its name on the server.
        result_.notMade = createRefused_;
        op_.setRecord(-1);
        op_.step(422, [&] { job_.records.close(); });
        return written_;
    }
    readRules(script);
    InsertBuilder builder(script, road_.regional, road_.events);
    builder.setTransferBinary(road_.options.transferBinary);
    writeRecords(script, builder);
    op_.setRecord(-1);  // what follows concerns the whole table
    if (lost()) {
        finishBulk();
        bulk_.reset();
        endBatch();  // nothing more goes through; what was not committed is gone with the connection
        reportReading();
        return written_;
    }
    if (result_.stopped) {
        // What is not committed is given up (but the load's rows sent: a load
        // is ended by storing them); the server's count tells what is stored.
        finishBulk();
        if (batch_)
            batch_->abandon();
        endBatch();
        countOnServer();
        reportReading();
        return written_;
    }
    // Before anything else may use the connection (the key, the preview, the
    // next table's question, the close) the table's rows are on the server for good.
    finishBulk();
    endBatch();
    op_.step(421, [&] { ReportOutOfRange(name_, builder.outOfRangeValues()); });
    writeRules(addKey(script, builder));
    countOnServer();
    reportReading();
    return written_;
}

// After the table's last commit the server says how many rows it holds; a
// number other than the run stored is told at once with both numbers. Rows
// whose commit the server did not confirm are settled by it.
void TableWriter::countOnServer()
{
    auto& server = road_.handOff.mssql_conn;
    if (!direct() || !server || !server->isOpen() || lost())
        return;
    std::int64_t held = -1;
    const bool counted = op_.step(421, [&] {
        try {
            held = CountRows(*server, road_.dialect, name_);
        } catch (const platform::ConnectionLost& e) {
            noteLoss(e.driverText(), -1);
        }
    });
    if (!counted || held < 0)
        return;
    result_.serverRows = held;
    if (result_.stopped)
        return;  // what was not committed was given up: the count is what is stored
    const StatementTally& rows = written_.rows;
    const std::int64_t stored = job_.resumeFrom + rows.sent - rows.refused - rows.inDoubt;
    if (held >= stored && held <= stored + rows.inDoubt)
        return;
    op_.step(421, [&] {
        throw std::runtime_error("The server holds " + Grouped(held) + (held == 1 ? " row" : " rows")
                                 + " of the table " + name_ + ", but the run stored " + Grouped(stored)
                                 + (rows.inDoubt > 0 ? " (and " + Grouped(rows.inDoubt) + " in doubt)" : "") + ".");
    });
}

// False when the server refused the table, which is then reported as not
// converted. A table continued exists already: its CREATE is built, not sent.
bool TableWriter::writeCreate(TableScript& script, bool send)
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
    if (!send)
        return true;
    const bool made = createTable(script.createStatement());
    // From now on the table counts as existing, so a second table of the same
    // name in this run asks before it overwrites this one.
    op_.step(314, [&] { form_.List1().push_back(name_); });
    return made;
}

// The CREATE runs on its own, after whatever the table's batch holds (its DROP).
bool TableWriter::createTable(const std::string& sql)
{
    if (!direct()) {
        op_.step(310, [&] { road_.handOff.preview.list().append(sql); });
        return true;
    }
    if (!road_.handOff.mssql_conn) {
        result_.noConnection = true;  // its creation failed and was reported
        return false;
    }
    endBatch();
    ++written_.statements.sent;
    const bool made = op_.step(312, [&] {
        try {
            road_.handOff.mssql_conn->execute(sql);
        } catch (const platform::ConnectionLost& e) {
            noteLoss(e.driverText(), -1);
        } catch (const platform::ServerError& e) {
            throw platform::ServerError(e.driverText() + "\r\n" + NotMade(name_, job_.records));
        }
    });
    if (!made) {
        ++written_.statements.refused;
        createRefused_ = true;
    }
    written_.statements.confirmed += made && !lost() ? 1 : 0;
    return made && !lost();
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
    if (!skipRecords(c))
        return;
    UnreadableValues unreadable(fields);
    for (;;) {
        op_.step(320, [&] { road_.events.yield(); });
        if (road_.stop && road_.stop->requested()) {
            result_.stopped = true;
            break;
        }
        if (lost())
            break;
        ++c;
        result_.recordsRead = c;
        op_.setRecord(c - 1);
        op_.step(326, [&] {
            form_.setProgressValue((static_cast<double>(c) + 1) / (static_cast<double>(n) + 1) * 100);
        });
        op_.step(328, [&] { builder.begin(); });
        addValues(builder, fields, unreadable);
        statement(406, kInsertStep, builder.finish(), StatementBatch::Kind::Insert, c - 1);
        if (rules_)
            rules_->endRecord();
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

// A table continued: the records the server holds already are passed over.
// False when the table ends among them.
bool TableWriter::skipRecords(std::int64_t& c)
{
    platform::SourceRecordset& records = job_.records;
    for (; c < job_.resumeFrom; ++c) {
        bool more = false;
        if (!op_.step(418, [&] { records.moveNext(); }) || !op_.step(420, [&] { more = !records.eof(); }) || !more)
            return false;
    }
    result_.recordsRead = c;
    return true;
}

// The record's values, field by field. A value that cannot be read is reported
// (the first of its field) and written NULL; the record goes on.
void TableWriter::addValues(InsertBuilder& builder, int fields, UnreadableValues& unreadable)
{
    platform::SourceRecordset& records = job_.records;
    // What the rules see of a value is what the statement holds.
    auto add = [&](int f, const paradox::Value& value) {
        builder.add(f, value);
        if (rules_)
            rules_->observe(f, builder.needsValue(f) ? value : paradox::Value::null());
    };
    for (int f = 0; f < fields; ++f) {
        // Byte data written NULL is never read (a picture can be megabytes).
        if (!builder.needsValue(f)) {
            add(f, paradox::Value::null());
            continue;
        }
        const auto at = static_cast<std::size_t>(f);
        if (unreadable.reported[at]) {
            try {
                add(f, records.value(f));
            } catch (...) {
                ++unreadable.after[at];
                add(f, paradox::Value::null());
            }
        } else if (!op_.step(334, [&] { add(f, records.value(f)); })) {
            unreadable.reported[at] = true;
            add(f, paradox::Value::null());
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
            if (lost())
                return StatementBatch::Next::Stop;
            const bool ran = batchStep(tag, [&] { executeUnlessLost(s, tag); });
            if (!ran) {
                ++written_.statements.refused;
                written_.rows.refused += tag >= 0 ? 1 : 0;
            } else if (!lost()) {
                ++written_.statements.confirmed;
                written_.rows.confirmed += tag >= 0 ? 1 : 0;
            }
            if (lost())
                return StatementBatch::Next::Stop;
            return ran ? StatementBatch::Next::Continue : StatementBatch::Next::Refused;
        };
        auto report = [this](const std::string& description, int tag, StatementBatch::InDoubt doubt) {
            return inDoubt(description, tag, doubt);
        };
        batch_.emplace(road_.handOff.mssql_conn.get(), runAlone, report, &road_.events,
                       road_.options.transactions, &road_.handOff.openBatches);
    }
    ++written_.statements.sent;
    written_.rows.sent += record >= 0 ? 1 : 0;
    if (kind == StatementBatch::Kind::Insert && bulkRoad()) {
        bulk_->send(sql, Tag(executeStep, record));
        return;
    }
    finishBulk();
    batch_->execute(sql, Tag(executeStep, record), kind);
}

// Statements whose fate the server left in doubt: reported, never run again;
// with the connection gone, told in the one report of its loss.
StatementBatch::Next TableWriter::inDoubt(const std::string& description, int tag, StatementBatch::InDoubt doubt)
{
    written_.statements.inDoubt += static_cast<std::int64_t>(doubt.statements);
    written_.rows.inDoubt += static_cast<std::int64_t>(doubt.rows);
    if (!lost())
        batchStep(tag, [&] { throw std::runtime_error(description); });
    return lost() ? StatementBatch::Next::Stop : StatementBatch::Next::Continue;
}

bool TableWriter::bulkRoad()
{
    if (!bulkAsked_ && road_.options.bulkCopy && !lost()) {
        bulkAsked_ = true;
        std::unique_ptr<platform::BulkLoad> load;
        try {
            load = road_.handOff.mssql_conn->bulkLoad(QuotedName(road_.dialect, name_), !job_.continues);
        } catch (const platform::ConnectionLost& e) {
            noteLoss(e.driverText(), -1);
        } catch (const std::exception&) {
            // No load: the rows go as INSERTs, whose refusals say what is wrong.
        }
        if (load) {
            auto insert = [this](const std::string& s, int tag) { batch_->execute(s, tag, StatementBatch::Kind::Insert); };
            auto report = [this](const std::string& description, int tag, StatementBatch::InDoubt doubt) {
                return inDoubt(description, tag, doubt);
            };
            bulk_.emplace(std::move(load), insert, report, road_.options.transactions);
        }
    }
    return bulk_.has_value();
}

void TableWriter::finishBulk()
{
    if (!bulk_)
        return;
    if (!lost())
        bulk_->finish();
    const std::int64_t stored = bulk_->takeStored();
    written_.statements.confirmed += stored;
    written_.rows.confirmed += stored;
}

// The execute of a statement that runs alone. The loss of the connection is
// no refusal of the statement: the run tells it once, with what is stored.
void TableWriter::executeUnlessLost(const std::string& sql, int tag)
{
    try {
        road_.handOff.mssql_conn->execute(sql);
    } catch (const platform::ConnectionLost& e) {
        noteLoss(e.driverText(), tag >= 0 ? tag : -1);
    }
}

void TableWriter::noteLoss(const std::string& driverText, std::int64_t record)
{
    if (written_.lost)
        return;
    written_.lost = true;
    written_.lostAt = record >= 0 ? record : result_.recordsRead > 0 ? result_.recordsRead - 1 : -1;
    written_.lostBecause = driverText;
}

// Lost in the table's own calls, or where the batch met the loss and said no
// more than that it stopped.
bool TableWriter::lost()
{
    const auto& server = road_.handOff.mssql_conn;
    if (!written_.lost && server && server->lost())
        noteLoss(server->lostWith(), -1);
    return written_.lost;
}

// The table's transactions end (committed, or given up before): what their
// commits confirmed is through.
void TableWriter::endBatch()
{
    if (!batch_)
        return;
    batch_->finish();
    written_.statements.confirmed += static_cast<std::int64_t>(batch_->committed());
    written_.rows.confirmed += static_cast<std::int64_t>(batch_->committed());
    batch_.reset();
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
bool TableWriter::addKey(const TableScript& script, const InsertBuilder& builder)
{
    if (script.keyFieldCount() == 0)
        return false;
    if (const std::int64_t blank = builder.blankKeyRecords(); blank > 0) {
        op_.step(421, [&] {
            throw std::runtime_error(KeyNotMade(name_, result_.recordsRead, written_.rows.refused) + "its key field " +
                                     script.fieldName(builder.firstBlankKeyField()) + " is blank in " +
                                     std::to_string(blank) + (blank == 1 ? " record." : " records."));
        });
        return false;
    }
    for (const std::string& sql : script.keyStatements()) {
        if (!direct()) {
            op_.step(421, [&] { road_.handOff.preview.list().append(sql); });
            continue;
        }
        if (!road_.handOff.mssql_conn || lost())
            return false;
        ++written_.statements.sent;
        const bool made = op_.step(421, [&] {
            try {
                road_.handOff.mssql_conn->execute(sql);
            } catch (const platform::ConnectionLost& e) {
                noteLoss(e.driverText(), -1);
            } catch (const std::exception& e) {
                throw std::runtime_error(KeyNotMade(name_, result_.recordsRead, written_.rows.refused) + e.what());
            }
        });
        if (!made) {
            ++written_.statements.refused;
            return false;
        }
        if (lost())
            return false;
        ++written_.statements.confirmed;
    }
    return true;
}

// Under SQL Server column types, unless the user keeps only the keys, the
// rules beside the table are read before its rows: they are listed with its
// fields, and a rule file that cannot be read is reported and left out.
void TableWriter::readRules(const TableScript& script)
{
    if (road_.options.columnTypes != ColumnTypes::SqlServer || road_.options.rules != RuleChoice::All)
        return;
    op_.step(315, [&] { rules_.emplace(script, job_.records.rules(), job_.referenced); });
    if (!rules_)
        return;
    op_.step(315, [&] { rules_->describe(road_.handOff.datatypes.list()); });
    for (const paradox::RuleFileProblem& p : rules_->problems()) {
        op_.step(315, [&] {
            throw std::runtime_error("The rule file " + p.file + " of the table " + name_ + " cannot be read: " +
                                     p.reason + ". The table is converted without its rules.");
        });
    }
}

// After the rows and the key: the table's own rules; its foreign keys wait for the run's end.
void TableWriter::writeRules(bool keyMade)
{
    if (!rules_)
        return;
    RuleFindings findings;
    std::vector<RuleStatement> statements;
    op_.step(423, [&] { statements = rules_->statements(findings); });
    ReportRuleFindings(road_, findings, 423, result_);
    WriteRuleStatements(road_, statements, 423, written_.statements);
    written_.rules = true;
    written_.key = rules_->takeKey(keyMade);
    written_.foreignKeys = rules_->takeForeignKeys();
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

}  // namespace conversion
