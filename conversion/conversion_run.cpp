// The steps of one conversion run, numbered as the error report shows them.
#include "conversion/conversion_run.h"

#include "conversion/sql_text.h"
#include "core/app_title.h"
#include "core/error_report.h"
#include "core/list_items.h"
#include "core/unicode_case.h"
#include "core/settings_keys.h"
#include "sources/mssql_module.h"
#include "sources/paradox_module.h"

#include <memory>
#include <optional>
#include <stdexcept>

namespace conversion {

namespace {

enum class Overwrite { None, Yes, No };

// Once per table whose texts held bytes that its code page could not decode:
// they were written as U+FFFD, and another code page may read them.
void ReportUndecodableBytes(const std::string& table, const platform::SourceRecordset& records)
{
    const std::uint64_t bytes = records.undecodableBytes();
    if (bytes == 0)
        return;
    throw std::runtime_error(std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes") + " of the table " + table +
                             " could not be decoded from " +
                             records.codePage() + " and were written as U+FFFD. Another code page (setting \"" +
                             core::key::SourceCodePage + "\") may read them.");
}

// Once per table whose records differ from its header's count, or whose data
// blocks do not chain as its header says: the records that could be read were
// written all the same.
void ReportDamage(const platform::SourceRecordset& records)
{
    if (const auto damage = records.damage())
        throw std::runtime_error(*damage);
}

// One run's values; the steps below are numbered as the error report shows them.
class Converter {
public:
    explicit Converter(Run& run)
        : run_(run), form_(run.form), op_(run.services.dialogs, kRunLocation)
    {
    }

    RunResult start();

private:
    bool openEverything();
    void convertTables();
    // Returns false when the run processes no further table.
    bool convertTable(int index);
    bool convertTableSteps(int index, TableResult& table);
    void convertRecords(platform::SourceRecordset& records, const TableScript& script, TableResult& table);
    // kind: what the run knows of the statement, having built it.
    void statement(int previewStep, int executeStep, const std::string& sql, StatementBatch::Kind kind);
    void commitTable();
    void finish();

    Run& run_;
    core::MainForm& form_;
    core::GuardedOperation op_;
    std::unique_ptr<platform::SourceConnection> source_;
    bool connectionsOpen_ = false;
    std::string sourceFolder_;  // the folder the source connection reads
    // Direct mode's transactions, one batch per table, committed at its end.
    std::optional<StatementBatch> batch_;
    RunResult result_;
    TableResult* table_ = nullptr;  // the table being converted
    int tableReports_ = 0;          // reports made while a table was converted
    int otherReports_ = 0;          // reports of the folder walk and the copy
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
    // Without tables or without a login the run ends silently.
    if (op_.step(118, [&] { ok = Paradox::HasTables(form_); }) && !ok)
        return false;
    if (op_.step(120, [&] { ok = MSSQL::CanConnect(run_.services, form_); }) && !ok)
        return false;

    op_.step(122, [&] { form_.setBusy(true); });
    op_.step(124, [&] { form_.List1().clear(); });
    op_.step(126, [&] { form_.List2().clear(); });
    op_.step(128, [&] { MSSQL::ListTables(run_.services, form_, form_.List1()); });
    op_.step(130, [&] { otherReports_ += Paradox::ListTables(run_.services, form_, form_.List2()); });
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
        if (!convertTable(i))
            break;
        op_.step(434, [&] { form_.setProgressText(""); });
    }
}

void Converter::statement(int previewStep, int executeStep, const std::string& sql, StatementBatch::Kind kind)
{
    if (form_.previewMode()) {
        op_.step(previewStep, [&] { run_.handOff.preview.list().append(sql); });
        return;
    }
    if (!run_.handOff.mssql_conn)
        return;  // its creation failed and was reported
    if (!batch_) {
        // A statement that runs alone is executed and reported as it always was.
        auto runAlone = [this](const std::string& s, int step) {
            if (!op_.step(step, [&] { run_.handOff.mssql_conn->execute(s); }) && table_)
                ++table_->refused;
            return StatementBatch::Next::Continue;
        };
        // Statements whose fate the server left in doubt: reported, never run again.
        auto report = [this](const std::string& description, int step) {
            op_.step(step, [&] { throw std::runtime_error(description); });
            return StatementBatch::Next::Continue;
        };
        batch_.emplace(run_.handOff.mssql_conn.get(), runAlone, report, &run_.services.events,
                       run_.options.transactions);
    }
    // Every statement either goes through or is refused once, alone; the
    // difference is taken when the table's batch is finished.
    if (table_)
        ++table_->statementsThrough;
    batch_->execute(sql, executeStep, kind);
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
            } else {
                yes = run_.services.dialogs.show(m) == platform::Answer::Yes;
            }
            answer = yes ? Overwrite::Yes : Overwrite::No;
        });
    }
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
        source_ && op_.step(186, [&] { records = source_->openRecordset(SourceQuery(name)); });

    if (opened && answer == Overwrite::Yes) {
        statement(178, 180, DropStatement(name), StatementBatch::Kind::Other);
        op_.step(182, [&] { core::RemoveFromList(form_.List1(), core::LowerCase(name)); });
    }
    if (!opened)
        return true;  // reported once; the run goes on with the next table
    table.folder = sourceFolder_;

    op_.step(184, [&] { form_.setProgressText("Please wait.. Processing table " + name); });

    TableScript script;
    op_.step(188, [&] { script.start(name); });
    int fields = 0;
    op_.step(194, [&] { fields = records->fieldCount(); });
    for (int f = 0; f < fields; ++f) {
        op_.step(196, [&] {
            run_.services.events.yield();
            script.addField(f, records->fieldName(f), records->fieldType(f),
                             &run_.handOff.datatypes.list());
        });
    }
    op_.step(304, [&] { script.finishCreate(); });
    statement(310, 312, script.createStatement(), StatementBatch::Kind::Other);
    // From now on the table counts as existing, so a second table of the same
    // name in this run asks before it overwrites this one.
    op_.step(314, [&] { form_.List1().push_back(name); });

    bool hasRecords = false;
    if (op_.step(316, [&] { hasRecords = !records->eof() && !records->bof(); }) && hasRecords)
        convertRecords(*records, script, table);
    commitTable();

    op_.step(421, [&] {
        table.undecodableBytes = records->undecodableBytes();
        ReportUndecodableBytes(name, *records);
    });
    op_.step(421, [&] {
        table.recordCountMismatch = records->damage().has_value();
        ReportDamage(*records);
    });
    op_.step(422, [&] { records->close(); });

    op_.step(424, [&] { run_.handOff.SQLFormCancel = true; });
    bool show = false;
    op_.step(426, [&] { show = form_.previewMode() && form_.previewEachTable(); });
    if (show) {
        op_.step(430, [&] { form_.showPreview(); });
        bool wentBack = false;
        if (op_.step(432, [&] { wentBack = run_.handOff.SQLFormCancel; }) && wentBack)
            return false;
    }
    return true;
}

void Converter::convertRecords(platform::SourceRecordset& records, const TableScript& script, TableResult& table)
{
    std::int64_t n = 0;
    op_.step(318, [&] { n = records.recordCount(); });
    std::int64_t c = 0;
    InsertBuilder builder(script, run_.regional, run_.services.events);
    builder.setTransferBinary(run_.options.transferBinary);
    const int fields = script.fieldCount();
    for (;;) {
        op_.step(320, [&] { run_.services.events.yield(); });
        ++c;
        table.recordsRead = c;
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
            if (!op_.step(334, [&] { builder.add(f, records.value(f)); }))
                builder.add(f, paradox::Value::null());
        }
        const std::string& sql = builder.finish();
        statement(406, 416, sql, StatementBatch::Kind::Insert);
        // A record the reader cannot move past ends the table: the loop stays bounded.
        if (!op_.step(418, [&] { records.moveNext(); }))
            break;
        bool more = false;
        if (!op_.step(420, [&] { more = !records.eof(); }) || !more)
            break;
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
        platform::Message m;
        m.text = kDoneMessage;
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
    return Converter(run).start();
}

}  // namespace conversion
