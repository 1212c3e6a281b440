// The steps of one table of a run, numbered as the error report shows them.
#include "conversion/table_writer_parts.h"

#include "conversion/table_reports.h"
#include "conversion/row_count.h"
#include "platform/event_loop.h"
#include "platform/source_connection.h"
#include "platform/stop_request.h"

#include <stdexcept>

namespace conversion {

namespace table_writing {

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
    InsertBuilder builder(script, road_.regional, direct() ? static_cast<platform::EventLoop&>(readingYields_) : road_.events);
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
    // Where the run ended before the reading, what reading had found by the last record taken.
    const std::uint64_t undecodable = endedAt_ ? endedAt_->undecodable : records.undecodableBytes();
    const std::optional<std::string> damage = endedAt_ ? endedAt_->damage : records.damage();
    op_.step(421, [&] {
        result_.undecodableBytes = undecodable;
        ReportUndecodableBytes(name_, undecodable, records.codePage(), road_.options.codePageChoice);
    });
    op_.step(421, [&] {
        result_.recordCountMismatch = damage.has_value();
        ReportDamage(name_, damage);
    });
    op_.step(422, [&] { records.close(); });
}

}  // namespace table_writing

TableWritten WriteTable(const TableRoad& road, const TableJob& job, TableResult& result)
{
    return table_writing::TableWriter(road, job, result).write();
}

}  // namespace conversion
