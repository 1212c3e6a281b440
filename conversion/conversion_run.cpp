// The steps of one conversion run, numbered as the error report shows them.
#include "conversion/conversion_run.h"

#include "conversion/dialect.h"
#include "conversion/sql_text.h"
#include "core/app_title.h"
#include "core/error_report.h"
#include "core/list_items.h"
#include "core/unicode_case.h"
#include "sources/mssql_module.h"
#include "sources/paradox_module.h"

#include <algorithm>
#include <filesystem>
#include <limits>
#include <memory>
#include <optional>
#include <stdexcept>

namespace conversion {

namespace {

enum class Overwrite { None, Yes, No };

// The first line of the message of a start that cannot go on; the cause follows.
constexpr const char* kCannotStart = "Could not start converting.\r\n";

// The closing message's lines after "Done." when anything was reported: how
// many reports each table had, and the log that holds them all.
std::string FailureSummary(const RunResult& result, int outsideTables, const core::RunReports& reports)
{
    int total = outsideTables;
    std::string perTable;
    for (const TableResult& t : result.tables) {
        const std::int64_t count = t.refused + t.failures;
        total += static_cast<int>(count);
        if (count > 0)
            perTable += "\r\n" + SummaryName(t) + ": " + std::to_string(count);
    }
    if (total == 0)
        return {};
    std::string text = "\r\n\r\n" + std::to_string(total) + (total == 1 ? " failure" : " failures");
    if (!reports.logFile().empty())
        text += ", each recorded in " + reports.logFile();
    else if (!reports.logProblem().empty())
        text += " (" + reports.logProblem() + ")";
    text += ":" + perTable;
    if (outsideTables > 0)
        text += "\r\nOutside the tables: " + std::to_string(outsideTables);
    return text;
}

// The tables a run left after "< Back" in a per-table preview.
std::string NotReachedText(const std::vector<std::string>& tables)
{
    if (tables.empty())
        return {};
    std::string text = "\r\n\r\nNot converted, after \"< Back\": ";
    for (std::size_t i = 0; i < tables.size(); ++i)
        text += (i == 0 ? "" : ", ") + tables[i];
    return text;
}

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

// A second table of a name is never mixed into the first one's target table:
// the one found first (nearest the top folder) keeps the name.
void ReportLeftOut(const std::string& table, const Paradox::TableFile& file)
{
    const std::filesystem::path folder = std::filesystem::path(file.path).parent_path();
    const std::string how = folder == std::filesystem::path(file.keptBy).parent_path()
        ? "copy it into a folder of its own and convert that folder"
        : "convert the folder " + folder.string() + " on its own";
    throw std::runtime_error("The table " + table + " of " + file.path + " is not converted: " + file.keptBy +
                             ", found before it, is converted under that name. To convert it, " + how + ".");
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

// The start of every report of a key that was not made.
std::string KeyNotMade(const std::string& table)
{
    return "The table " + table + " keeps all its records without the primary key " + KeyName(table) + ": ";
}

// The step of a record's insert in direct mode.
constexpr int kInsertStep = 416;

// A statement's tag in the batch: its record (from 0) for an insert, else its
// step, negated, so that a refusal the batch reports later names its record.
int Tag(int step, std::int64_t record)
{
    return record >= 0 ? static_cast<int>(std::min<std::int64_t>(record, std::numeric_limits<int>::max())) : -step;
}

// One run's values; the steps below are numbered as the error report shows them.
class Converter {
public:
    // The run's services show their messages through `reports`.
    Converter(Run& run, const core::RunReports& reports)
        : run_(run), form_(run.form), op_(run.services.dialogs, kRunLocation), reports_(reports)
    {
    }

    RunResult start();

private:
    bool openEverything();
    void convertTables();
    // Returns false when the run processes no further table.
    bool convertTable(int index);
    bool convertTableSteps(int index, TableResult& table);
    Overwrite askOverwrite(const std::string& name);
    std::string writeTable(const std::string& name, platform::SourceRecordset& records, TableResult& table);
    void reportReading(const std::string& name, platform::SourceRecordset& records, TableResult& table);
    bool previewTable(const std::string& identityOff);
    void convertRecords(platform::SourceRecordset& records, InsertBuilder& builder, int fields, TableResult& table);
    void addKey(const TableScript& script, const InsertBuilder& builder, TableResult& table);
    // kind: what the run knows of the statement, having built it; record: the
    // record it holds, for the report of its failure.
    void statement(int previewStep, int executeStep, const std::string& sql, StatementBatch::Kind kind,
                   std::int64_t record = -1);
    // A step for the batch's statement of that tag, reported with its record.
    template <typename F>
    bool batchStep(int tag, F&& action);
    void commitTable();
    void cannotStart(const std::string& cause);
    void finish();

    Run& run_;
    core::MainForm& form_;
    core::GuardedOperation op_;
    const core::RunReports& reports_;
    std::unique_ptr<platform::SourceConnection> source_;
    bool connectionsOpen_ = false;
    std::string sourceFolder_;  // the folder the source connection reads
    Paradox::TableListing listing_;  // where each entry of List2 was found
    // The target's words: SQLite's where the connection says it is SQLite.
    Dialect dialect_ = Dialect::SqlServer;
    // Direct mode's transactions, one batch per table, committed at its end.
    std::optional<StatementBatch> batch_;
    RunResult result_;
    TableResult* table_ = nullptr;  // the table being converted
    int tableReports_ = 0;          // reports made while a table was converted
    int otherReports_ = 0;          // reports of the folder walk and the copy, and a start that could not go on
    // The user's "Yes to All" or "No to All": the answer for the rest of the run.
    std::optional<bool> overwriteAll_;
    std::vector<std::string> notReached_;  // after "< Back" in a per-table preview
};

RunResult Converter::start()
{
    bool converting = false;
    if (op_.step(100, [&] { converting = run_.Converting; }) && converting)
        return {};
    op_.step(102, [&] { run_.Converting = true; });
    if (run_.options.offerCopy)
        op_.step(104, [&] { otherReports_ += Paradox::CopyDB(run_.services, form_, false); });
    // A connection whose creation failed stays null, and every step that would
    // use it is skipped (reported once, here); the last run's closed connection
    // is not used again.
    op_.step(106, [&] {
        run_.handOff.mssql_conn.reset();
        run_.handOff.mssql_conn = run_.services.servers.create();
    });
    op_.step(110, [&] { source_ = run_.services.sourceConnections.create(); });
    // The code page the user chose for the tables' texts; a name that is not
    // known is reported once and nothing is converted.
    const bool codePageKnown = op_.step(114, [&] {
        if (source_)
            source_->setSourceCodePage(run_.options.sourceCodePage);
    });

    if (codePageKnown && openEverything()) {
        convertTables();
        finish();
    }
    op_.step(470, [&] { run_.Converting = false; });
    result_.failures = op_.failures() - tableReports_ + otherReports_;
    return std::move(result_);
}

bool Converter::openEverything()
{
    bool ok = true;
    // Without tables (or none that could be read) or without a login nothing
    // is converted, and the user is told why.
    std::optional<std::string> unreadable;
    const bool asked = op_.step(118, [&] {
        try {
            ok = Paradox::HasTables(run_.services, form_);
        } catch (const Paradox::FoldersUnreadable& e) {
            ok = false;
            unreadable = e.what();
        }
    });
    if (!asked)
        return false;
    if (!ok) {
        op_.step(118, [&] { cannotStart(unreadable.value_or(Paradox::NoTablesReason(form_.folder()))); });
        return false;
    }
    std::optional<std::string> refused;
    if (op_.step(120, [&] { refused = MSSQL::NoConnectionReason(run_.services, form_); }) && refused) {
        op_.step(120, [&] { cannotStart(*refused); });
        return false;
    }

    op_.step(122, [&] { form_.setBusy(true); });
    op_.step(124, [&] { form_.List1().clear(); });
    op_.step(126, [&] { form_.List2().clear(); });
    op_.step(128, [&] { MSSQL::ListTables(run_.services, form_, form_.List1()); });
    op_.step(130, [&] {
        listing_ = Paradox::ListTables(run_.services, form_, form_.List2());
        otherReports_ += listing_.reports;
    });
    // Each folder whose tables could not be listed, once.
    for (const AddFolder::UnreadableFolder& folder : listing_.unreadable)
        op_.step(130, [&] { throw std::runtime_error(Paradox::UnreadableFolderText(folder)); });
    if (source_) {
        op_.step(132, [&] { source_->setCursorLocation(platform::SourceConnection::kClientSideCursor); });
        op_.step(134, [&] {
            sourceFolder_ = form_.folder();
            source_->open(Paradox::ConnectionText(form_));
        });
    }
    auto& server = run_.handOff.mssql_conn;
    if (server) {
        op_.step(136, [&] { server->setCursorLocation(platform::ServerConnection::kServerSideCursor); });
        op_.step(138, [&] { server->setCommandTimeout(5000); });
        op_.step(140, [&] { server->setConnectionTimeout(5000); });
    }
    op_.step(142, [&] { connectionsOpen_ = true; });
    bool local = false;
    if (server && op_.step(144, [&] { local = form_.localConnection(); })) {
        if (local)
            op_.step(146, [&] { server->open(MSSQL::ConnectionText(run_.services, form_, true)); });
        else
            op_.step(148, [&] { server->open(MSSQL::ConnectionText(run_.services, form_, false)); });
        dialect_ = DialectOf(*server);
    }
    op_.step(152, [&] { run_.handOff.preview.list().clear(); });
    op_.step(154, [&] { run_.handOff.datatypes.list().clear(); });
    return true;
}

void Converter::convertTables()
{
    int count = 0;
    if (!op_.step(150, [&] { count = static_cast<int>(form_.List2().size()); }))
        return;
    for (int i = count - 1; i >= 0; --i) {
        if (!convertTable(i)) {
            // "< Back": the tables not reached are named in the closing message.
            for (int rest = i - 1; rest >= 0; --rest)
                op_.step(434, [&] { notReached_.push_back(form_.List2().at(static_cast<std::size_t>(rest))); });
            op_.step(434, [&] { form_.setProgressText(""); });
            break;
        }
        op_.step(434, [&] { form_.setProgressText(""); });
    }
}

void Converter::statement(int previewStep, int executeStep, const std::string& sql, StatementBatch::Kind kind,
                          std::int64_t record)
{
    if (form_.previewMode()) {
        op_.step(previewStep, [&] { run_.handOff.preview.list().append(sql); });
        return;
    }
    if (!run_.handOff.mssql_conn)
        return;  // its creation failed and was reported
    if (!batch_) {
        // A statement that runs alone is executed and reported as it always was.
        auto runAlone = [this](const std::string& s, int tag) {
            if (!batchStep(tag, [&] { run_.handOff.mssql_conn->execute(s); }) && table_)
                ++table_->refused;
            return StatementBatch::Next::Continue;
        };
        // Statements whose fate the server left in doubt: reported, never run again.
        auto report = [this](const std::string& description, int tag) {
            batchStep(tag, [&] { throw std::runtime_error(description); });
            return StatementBatch::Next::Continue;
        };
        batch_.emplace(run_.handOff.mssql_conn.get(), runAlone, report, &run_.services.events,
                       run_.options.transactions, &run_.handOff.openBatches);
    }
    // Every statement either goes through or is refused once, alone; the
    // difference is taken when the table's batch is finished.
    if (table_)
        ++table_->statementsThrough;
    batch_->execute(sql, Tag(executeStep, record), kind);
}

template <typename F>
bool Converter::batchStep(int tag, F&& action)
{
    const std::int64_t at = op_.record();
    op_.setRecord(tag >= 0 ? tag : -1);
    const bool ran = op_.step(tag >= 0 ? kInsertStep : -tag, std::forward<F>(action));
    op_.setRecord(at);
    return ran;
}

void Converter::cannotStart(const std::string& cause)
{
    ++otherReports_;
    platform::Message m;
    m.text = kCannotStart + cause;
    m.title = core::AppTitle();
    m.icon = platform::Icon::Warning;
    run_.services.dialogs.show(m);
}

// Before anything else may use the connection (the preview, the next table's
// question, the close) the table's statements are on the server for good.
void Converter::commitTable()
{
    batch_.reset();
}

bool Converter::convertTable(int index)
{
    TableResult& table = result_.tables.emplace_back();
    table_ = &table;
    const int before = op_.failures();
    const bool goOn = convertTableSteps(index, table);
    op_.setTable({});
    const int reports = op_.failures() - before;
    tableReports_ += reports;
    table.statementsThrough -= table.refused;
    table.failures = reports - static_cast<int>(table.refused);
    table_ = nullptr;
    return goOn;
}

bool Converter::convertTableSteps(int index, TableResult& table)
{
    op_.step(156, [&] { run_.services.events.yield(); });
    std::string name;
    op_.step(158, [&] { name = form_.List2().at(static_cast<std::size_t>(index)); });
    table.table = name;
    op_.setTable(name);
    // The file the entry was listed from; none when the list was not made by this run's listing.
    const auto at = static_cast<std::size_t>(index);
    const Paradox::TableFile file = at < listing_.files.size() ? listing_.files[at] : Paradox::TableFile{};
    if (!file.keptBy.empty()) {
        table.leftOut = file.path;
        op_.step(159, [&] { ReportLeftOut(name, file); });
        return true;  // nothing asked, made or shown for it
    }

    const Overwrite answer = askOverwrite(name);
    if (answer == Overwrite::No) {
        table.skipped = true;
        return true;  // skipped: no statement, no record, no preview
    }

    bool perTable = false;
    if (op_.step(168, [&] { perTable = form_.previewEachTable(); }) && perTable) {
        op_.step(170, [&] { run_.handOff.preview.list().clear(); });
        op_.step(172, [&] { run_.handOff.datatypes.list().clear(); });
    }

    // The source table is opened before anything is dropped: a table that
    // cannot be read must not cost the server its old copy.
    std::unique_ptr<platform::SourceRecordset> records;
    const bool opened =
        source_ && op_.step(186, [&] { records = source_->openRecordsetFrom(SourceQuery(name), file.path); });

    if (opened && answer == Overwrite::Yes) {
        statement(178, 180, DropStatement(name), StatementBatch::Kind::Other);
        op_.step(182, [&] { core::RemoveFromList(form_.List1(), core::LowerCase(name)); });
    }
    if (!opened)
        return true;  // reported once; the run goes on with the next table
    table.folder = file.path.empty() ? sourceFolder_ : std::filesystem::path(file.path).parent_path().string();

    const std::string identityOff = writeTable(name, *records, table);
    reportReading(name, *records, table);
    return previewTable(identityOff);
}

Overwrite Converter::askOverwrite(const std::string& name)
{
    Overwrite answer = Overwrite::None;
    bool exists = false;
    if (op_.step(160, [&] { exists = core::ListContains(form_.List1(), name); }) && exists) {
        op_.step(162, [&] {
            platform::Message m;
            m.text = "Would you like to overwrite " + name + "?";
            m.title = "Overwrite?";
            m.buttons = platform::Buttons::YesNo;
            bool yes = false;
            if (run_.options.overwrite) {
                yes = *run_.options.overwrite;
                form_.questionAnswered(m.text, yes);
            } else if (overwriteAll_) {
                yes = *overwriteAll_;  // answered for the rest of the run
            } else {
                m.buttons = platform::Buttons::YesNoToAll;
                const platform::Answer a = run_.services.dialogs.show(m);
                yes = a == platform::Answer::Yes || a == platform::Answer::YesToAll;
                if (a == platform::Answer::YesToAll || a == platform::Answer::NoToAll)
                    overwriteAll_ = yes;
            }
            answer = yes ? Overwrite::Yes : Overwrite::No;
        });
    }
    return answer;
}

// The create statement, the inserts and the key; returns the statement that
// ends the table's identity inserts, when it has one.
std::string Converter::writeTable(const std::string& name, platform::SourceRecordset& records, TableResult& table)
{
    op_.step(184, [&] { form_.setProgressText("Please wait.. Processing table " + name); });

    TableScript script(run_.options.columnTypes, dialect_);
    op_.step(188, [&] { script.start(name); });
    int fields = 0;
    op_.step(194, [&] {
        fields = records.fieldCount();
        script.setKeyFieldCount(records.keyFieldCount());
    });
    for (int f = 0; f < fields; ++f) {
        op_.step(196, [&] {
            run_.services.events.yield();
            const FieldShape shape{records.fieldSize(f), records.fieldScale(f), records.fieldAutoIncrement(f)};
            script.addField(f, records.fieldName(f), records.fieldType(f), shape, &run_.handOff.datatypes.list());
        });
    }
    op_.step(304, [&] { script.finishCreate(); });
    statement(310, 312, script.createStatement(), StatementBatch::Kind::Other);
    // From now on the table counts as existing, so a second table of the same
    // name in this run asks before it overwrites this one.
    op_.step(314, [&] { form_.List1().push_back(name); });

    InsertBuilder builder(script, run_.regional, run_.services.events);
    builder.setTransferBinary(run_.options.transferBinary);
    std::string identityOff;
    bool hasRecords = false;
    if (op_.step(316, [&] { hasRecords = !records.eof() && !records.bof(); }) && hasRecords) {
        // An identity column takes the values given only while it is asked to.
        const std::string identityOn = script.hasIdentity() ? IdentityInsert(script.dialect(), name, true) : "";
        if (!identityOn.empty()) {
            identityOff = IdentityInsert(script.dialect(), name, false);
            statement(317, 317, identityOn, StatementBatch::Kind::Other);
        }
        convertRecords(records, builder, script.fieldCount(), table);
        if (!identityOff.empty())
            statement(419, 419, identityOff, StatementBatch::Kind::Other);
    }
    op_.setRecord(-1);  // what follows concerns the whole table
    commitTable();
    op_.step(421, [&] { ReportOutOfRange(name, builder.outOfRangeValues()); });
    addKey(script, builder, table);
    return identityOff;
}

// What reading the table found: bytes its code page could not decode, damage.
void Converter::reportReading(const std::string& name, platform::SourceRecordset& records, TableResult& table)
{
    op_.step(421, [&] {
        table.undecodableBytes = records.undecodableBytes();
        ReportUndecodableBytes(name, records, run_.options.codePageChoice);
    });
    op_.step(421, [&] {
        table.recordCountMismatch = records.damage().has_value();
        ReportDamage(name, records);
    });
    op_.step(422, [&] { records.close(); });
}

// The per-table preview; false when the user went back. A session lets one
// table at a time take identity values, and a table skipped after Execute SQL
// stopped short leaves its "SET IDENTITY_INSERT ... OFF" unrun: the run sends
// it once more before the next table (a second OFF changes nothing), so that
// the next table's identity inserts are not refused.
bool Converter::previewTable(const std::string& identityOff)
{
    op_.step(424, [&] { run_.handOff.SQLFormCancel = true; });
    bool show = false;
    op_.step(426, [&] { show = form_.previewMode() && form_.previewEachTable(); });
    if (!show)
        return true;
    op_.step(430, [&] { form_.showPreview(); });
    bool wentBack = false;
    if (op_.step(432, [&] { wentBack = run_.handOff.SQLFormCancel; }) && wentBack)
        return false;
    if (!identityOff.empty() && run_.handOff.mssql_conn && run_.handOff.mssql_conn->isOpen()) {
        try {
            run_.handOff.mssql_conn->execute(identityOff);
        } catch (...) {
            // Nothing to end: the table or its identity inserts never began.
        }
    }
    return true;
}

void Converter::convertRecords(platform::SourceRecordset& records, InsertBuilder& builder, int fields,
                               TableResult& table)
{
    std::int64_t n = 0;
    op_.step(318, [&] { n = records.recordCount(); });
    std::int64_t c = 0;
    // Per field, the values that could not be read after the first, which was
    // reported: a missing or damaged .MB file fails every memo and picture of
    // the table, and one report per field says it, not one per value.
    std::vector<std::int64_t> unreadable(static_cast<std::size_t>(std::max(fields, 0)), 0);
    std::vector<bool> reported(unreadable.size(), false);
    for (;;) {
        op_.step(320, [&] { run_.services.events.yield(); });
        ++c;
        table.recordsRead = c;
        op_.setRecord(c - 1);
        op_.step(326, [&] {
            form_.setProgressValue((static_cast<double>(c) + 1) / (static_cast<double>(n) + 1) * 100);
        });
        op_.step(328, [&] { builder.begin(); });
        for (int f = 0; f < fields; ++f) {
            // Byte data written NULL is never read (a picture can be megabytes).
            if (!builder.needsValue(f)) {
                builder.add(f, paradox::Value::null());
                continue;
            }
            // A value that cannot be read is reported and written NULL; the record goes on.
            const auto at = static_cast<std::size_t>(f);
            if (reported[at]) {
                try {
                    builder.add(f, records.value(f));
                } catch (...) {
                    ++unreadable[at];
                    builder.add(f, paradox::Value::null());
                }
            } else if (!op_.step(334, [&] { builder.add(f, records.value(f)); })) {
                reported[at] = true;
                builder.add(f, paradox::Value::null());
            }
        }
        const std::string& sql = builder.finish();
        statement(406, kInsertStep, sql, StatementBatch::Kind::Insert, c - 1);
        // A record the reader cannot move past ends the table: the loop stays bounded.
        if (!op_.step(418, [&] { records.moveNext(); }))
            break;
        bool more = false;
        if (!op_.step(420, [&] { more = !records.eof(); }) || !more)
            break;
    }
    op_.setRecord(-1);
    for (std::size_t f = 0; f < unreadable.size(); ++f) {
        if (unreadable[f] == 0)
            continue;
        op_.step(334, [&] {
            throw std::runtime_error(std::to_string(unreadable[f]) + (unreadable[f] == 1 ? " more value" : " more values")
                                     + " of the field " + records.fieldName(static_cast<int>(f))
                                     + " could not be read, as the first one reported, and "
                                     + (unreadable[f] == 1 ? "was" : "were") + " written as NULL.");
        });
    }
}

// Under SQL Server column types a keyed table gets its primary key after its
// rows, so that no record is lost to the key: where it cannot be made (a key
// field blank, values that collide under the server's collation, a key over
// the server's size limit of an index entry) that is reported once and the
// table keeps every row without it.
void Converter::addKey(const TableScript& script, const InsertBuilder& builder, TableResult& table)
{
    if (script.keyFieldCount() == 0)
        return;
    const std::string& name = script.tableName();
    if (const std::int64_t blank = builder.blankKeyRecords(); blank > 0) {
        op_.step(421, [&] {
            throw std::runtime_error(KeyNotMade(name) + "its key field " +
                                     script.fieldName(builder.firstBlankKeyField()) + " is blank in " +
                                     std::to_string(blank) + (blank == 1 ? " record." : " records."));
        });
        return;
    }
    for (const std::string& sql : script.keyStatements()) {
        if (form_.previewMode()) {
            op_.step(421, [&] { run_.handOff.preview.list().append(sql); });
            continue;
        }
        if (!run_.handOff.mssql_conn)
            return;
        ++table.statementsThrough;
        const bool made = op_.step(421, [&] {
            try {
                run_.handOff.mssql_conn->execute(sql);
            } catch (const std::exception& e) {
                throw std::runtime_error(KeyNotMade(name) + e.what());
            }
        });
        if (!made) {
            ++table.refused;
            return;
        }
    }
}

void Converter::finish()
{
    bool perFile = false;
    op_.step(438, [&] { perFile = form_.previewMode() && form_.previewEachFile(); });
    if (perFile) {
        op_.step(442, [&] { run_.handOff.SQLFormOK = false; });
        op_.step(444, [&] { form_.showPreview(); });
        bool executed = true;
        if (op_.step(446, [&] { executed = run_.handOff.SQLFormOK; }) && !executed) {
            if (run_.handOff.mssql_conn)
                op_.step(448, [&] { run_.handOff.mssql_conn->close(); });
            if (source_)
                op_.step(450, [&] { source_->close(); });
            op_.step(452, [&] { connectionsOpen_ = false; });
            op_.step(454, [&] { form_.setProgressText(""); });
        }
    }
    if (connectionsOpen_) {
        if (run_.handOff.mssql_conn)
            op_.step(458, [&] { run_.handOff.mssql_conn->close(); });
        if (source_)
            op_.step(460, [&] { source_->close(); });
    }
    op_.step(462, [&] {
        if (!run_.options.closingMessage)
            return;
        platform::Message m;
        m.text = kDoneMessage + FailureSummary(result_, op_.failures() - tableReports_ + otherReports_, reports_)
            + NotReachedText(notReached_);
        m.title = core::AppTitle();
        run_.services.dialogs.show(m);
    });
    op_.step(464, [&] { form_.setProgressValue(0); });
    op_.step(466, [&] { form_.setProgressText(""); });
    op_.step(468, [&] { form_.setBusy(false); });
}

}  // namespace

RunResult StartConverting(Run& run)
{
    // The run's messages, its reports and those of what it calls, go through
    // the run's own dialogs: logged, and boxed until the user says otherwise.
    core::RunReports reports(run.services.dialogs, run.services.paths.logFolder);
    core::Services services = run.services.withDialogs(reports);
    Run own{services, run.form, run.handOff, run.regional, run.Converting, run.options};
    return Converter(own, reports).start();
}

}  // namespace conversion
