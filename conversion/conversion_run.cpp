// The steps of one conversion run, numbered as the error report shows them.
#include "conversion/conversion_run.h"

#include "conversion/dialect.h"
#include "conversion/foreign_keys.h"
#include "conversion/sql_text.h"
#include "conversion/row_count.h"
#include "conversion/table_names.h"
#include "conversion/run_summary.h"
#include "conversion/table_reports.h"
#include "conversion/table_writer.h"
#include "conversion/verify.h"
#include "core/app_title.h"
#include "core/error_report.h"
#include "core/list_items.h"
#include "core/unicode_case.h"
#include "sources/mssql_module.h"
#include "sources/paradox_module.h"

#include <algorithm>
#include <filesystem>
#include <memory>
#include <optional>
#include <set>
#include <stdexcept>

namespace conversion {

namespace {

enum class Overwrite { None, Yes, No, Continue };

// The first line of the message of a start that cannot go on; the cause follows.
constexpr const char* kCannotStart = "Could not start converting.\r\n";

// One run's values; the steps below are numbered as the error report shows them.
class Converter {
public:
    // The run's services show their messages through `reports`.
    Converter(Run& run, core::RunReports& reports)
        : run_(run), form_(run.form), op_(run.services.dialogs, kRunLocation), reports_(reports)
    {
    }

    RunResult start();

private:
    bool openEverything();
    bool checkBothEnds();
    void listTables();
    void openConnections();
    void convertTables();
    void makeForeignKeys();
    // Returns false when the run processes no further table.
    bool convertTable(int index);
    // What the server holds of a table before it is written.
    struct Existing {
        bool exists = false;
        std::optional<std::int64_t> rows;  // counted where the server could say
        std::int64_t records = 0;          // the Paradox table's
        // Not the table the Paradox table would make: an earlier run did not finish it.
        bool half() const { return rows && *rows != records; }
        // It holds fewer rows than the records: it may be continued.
        bool continuable() const { return rows && *rows < records; }
    };
    bool convertTableSteps(int index, TableResult& table, TableWritten& written);
    Existing existingTable(const std::string& name, TableResult& table);
    Overwrite askOverwrite(const std::string& name, const Existing& existing);
    bool firstRecordsHeld(const VerifyTarget& target, std::int64_t& rows);
    bool afterLoss(TableResult& table, const TableWritten& written, const std::string& target);
    // Seconds a statement may take: the user's "Query Timeout", or the program's own 5000.
    int commandTimeout() const { return run_.options.queryTimeout > 0 ? run_.options.queryTimeout : 5000; }
    void verifyTable(const VerifyTarget& target, TableResult& table);
    VerifyRoad verifyRoad();
    bool previewTable(const std::string& identityOff);
    // The last `tables` tables went to a preview that did not execute them to the end.
    void markNotExecuted(std::size_t tables);
    void cannotStart(const std::string& cause);
    void notice(const std::string& text);
    void noticeRenamedFields(const std::string& table, platform::SourceRecordset& records);
    bool stopRequested() const { return run_.stop && run_.stop->requested(); }
    void finish();

    Run& run_;
    core::MainForm& form_;
    core::GuardedOperation op_;
    core::RunReports& reports_;
    std::unique_ptr<platform::SourceConnection> source_;
    bool connectionsOpen_ = false;
    std::string sourceFolder_;  // the folder the source connection reads
    Paradox::TableListing listing_;  // where each entry of List2 was found
    std::vector<ServerTableName> serverNames_;  // what each entry of List2 is written under
    // The target's words: SQLite's where the connection says it is SQLite.
    Dialect dialect_ = Dialect::SqlServer;
    RunResult result_;
    int tableReports_ = 0;          // reports made while a table was converted
    int otherReports_ = 0;          // reports of the folder walk and the copy, and a start that could not go on
    // The user's "Yes to All" or "No to All": the answer for the rest of the run.
    std::optional<bool> overwriteAll_;
    RunForeignKeys foreignKeys_;  // asked for by the tables' rules, made after the last table
    std::set<std::string> referenced_;  // the tables another table of the run refers to
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
        if (run_.options.bulkCopy && run_.handOff.mssql_conn)
            run_.handOff.mssql_conn->allowBulkLoad();
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
    if (!checkBothEnds())
        return false;
    op_.step(122, [&] { form_.setBusy(true); });
    listTables();
    openConnections();
    op_.step(152, [&] { run_.handOff.preview.list().clear(); });
    op_.step(154, [&] { run_.handOff.datatypes.list().clear(); });
    return true;
}

// Without tables (or none that could be read) or without a login nothing is
// converted, and the user is told why.
bool Converter::checkBothEnds()
{
    bool ok = true;
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
    // The run's own connection is the one that logs in: it stays open for the run.
    std::optional<std::string> refused;
    auto& server = run_.handOff.mssql_conn;
    if (op_.step(120, [&] {
            refused = server ? MSSQL::NoConnectionReason(run_.services, form_, *server)
                             : MSSQL::NoConnectionReason(run_.services, form_);
        }) && refused) {
        op_.step(120, [&] { cannotStart(*refused); });
        return false;
    }
    return true;
}

// List1 from the server's tables, List2 from the folder walk.
void Converter::listTables()
{
    op_.step(124, [&] { form_.List1().clear(); });
    op_.step(126, [&] { form_.List2().clear(); });
    op_.step(128, [&] {
        auto& server = run_.handOff.mssql_conn;
        if (server && server->isOpen())
            MSSQL::ListTables(run_.services, *server, form_.List1());
        else
            MSSQL::ListTables(run_.services, form_, form_.List1());
    });
    op_.step(130, [&] {
        listing_ = Paradox::ListTables(run_.services, form_, form_.List2());
        otherReports_ += listing_.reports;
    });
    // Each folder whose tables could not be listed, once.
    for (const AddFolder::UnreadableFolder& folder : listing_.unreadable)
        op_.step(130, [&] { throw std::runtime_error(Paradox::UnreadableFolderText(folder)); });
    op_.step(130, [&] {
        serverNames_ = ServerTableNames(form_.List2());
        foreignKeys_.nameTables(form_.List2(), serverNames_);
        notice(RenamedTablesText(form_.List2(), serverNames_));
    });
}

void Converter::openConnections()
{
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
        op_.step(138, [&] { server->setCommandTimeout(commandTimeout()); });
        op_.step(140, [&] { server->setConnectionTimeout(5000); });
    }
    op_.step(142, [&] { connectionsOpen_ = true; });
    // Open since the login was checked (step 120), unless that check had no connection of its own.
    bool local = false;
    if (server && !server->isOpen() && op_.step(144, [&] { local = form_.localConnection(); })) {
        if (local)
            op_.step(146, [&] { server->open(MSSQL::ConnectionText(run_.services, form_, true)); });
        else
            op_.step(148, [&] { server->open(MSSQL::ConnectionText(run_.services, form_, false)); });
    }
    if (server) {
        dialect_ = DialectOf(*server);
        op_.step(148, [&] { SayWaits(*server, dialect_, run_.services.events, form_); });
    }
}

void Converter::convertTables()
{
    int count = 0;
    if (!op_.step(150, [&] { count = static_cast<int>(form_.List2().size()); }))
        return;
    if (run_.options.columnTypes == ColumnTypes::SqlServer && run_.options.rules == RuleChoice::All && source_)
        referenced_ = ReferencedTables(*source_, form_.List2(), listing_.files);
    bool end = false;
    for (int i = count - 1; i >= 0 && !end; --i) {
        // "< Back" or a stop: the tables not reached are named at the end.
        int rest = -1;
        end = true;
        if (stopRequested())
            rest = i;
        else if (!convertTable(i) || stopRequested())
            rest = i - 1;
        else
            end = false;
        for (; rest >= 0; --rest)
            op_.step(434, [&] { result_.notReached.push_back(form_.List2().at(static_cast<std::size_t>(rest))); });
        op_.step(434, [&] { form_.setProgressText(""); });
    }
    if (stopRequested()) {
        result_.stoppedBy = run_.stop->reason();
        result_.ended = RunEnd::Stopped;
    }
    else if (!end)
        makeForeignKeys();  // every table of the run has its rows and keys
}

// After the last table, every table has its rows and its key: the foreign
// keys its rules asked for, each reported under its child table.
void Converter::makeForeignKeys()
{
    const TableRoad road{op_, form_, run_.handOff, run_.services.events, run_.options, run_.regional, dialect_};
    tableReports_ += MakeForeignKeys(road, foreignKeys_, result_.tables);
}

// What the user should know and need not answer; nothing when the text is empty.
void Converter::notice(const std::string& text)
{
    if (text.empty())
        return;
    platform::Message m;
    m.text = text;
    m.title = core::AppTitle();
    run_.services.dialogs.show(m);
}

void Converter::noticeRenamedFields(const std::string& table, platform::SourceRecordset& records)
{
    op_.step(194, [&] {
        std::vector<std::string> fields;
        for (int f = 0; f < records.fieldCount(); ++f)
            fields.push_back(records.fieldName(f));
        notice(RenamedFieldsText(table, fields));
    });
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
bool Converter::convertTable(int index)
{
    TableResult& table = result_.tables.emplace_back();
    const int before = op_.failures();
    TableWritten written;
    const bool goOn = convertTableSteps(index, table, written);
    op_.setTable({});
    const int reports = op_.failures() - before;
    tableReports_ += reports;
    CountStatements(written, reports, table);
    return goOn;
}

bool Converter::convertTableSteps(int index, TableResult& table, TableWritten& written)
{
    op_.step(156, [&] { run_.services.events.yield(); });
    std::string name;
    op_.step(158, [&] { name = form_.List2().at(static_cast<std::size_t>(index)); });
    table.table = name;
    op_.setTable(name);
    const auto at = static_cast<std::size_t>(index);
    const std::string target = at < serverNames_.size() ? serverNames_[at].name : name;  // the server's
    // The file the entry was listed from; none when the list was not made by this run's listing.
    const Paradox::TableFile file = at < listing_.files.size() ? listing_.files[at] : Paradox::TableFile{};
    if (!file.keptBy.empty()) {
        table.leftOut = file.path;
        op_.step(159, [&] { ReportLeftOut(name, file.path, file.keptBy); });
        return true;  // nothing asked, made or shown for it
    }

    // The source table is opened before anything is asked or dropped: a table
    // that cannot be read must not cost the server its old copy, and the
    // question tells how many records it has.
    std::unique_ptr<platform::SourceRecordset> records;
    const bool opened =
        source_ && op_.step(186, [&] { records = source_->openRecordsetFrom(SourceQuery(name), file.path); });
    if (!opened)
        return true;  // reported once; the run goes on with the next table
    op_.step(186, [&] { table.sourceRecords = records->recordCount(); });
    noticeRenamedFields(target, *records);
    const Existing existing = existingTable(target, table);
    const Overwrite answer = askOverwrite(target, existing);
    if (answer == Overwrite::No) {
        table.skipped = true;
        op_.step(422, [&] { records->close(); });
        return true;  // skipped: no statement, no record, no preview
    }

    bool perTable = false;
    if (op_.step(168, [&] { perTable = form_.previewEachTable(); }) && perTable) {
        op_.step(170, [&] { run_.handOff.preview.list().clear(); });
        op_.step(172, [&] { run_.handOff.datatypes.list().clear(); });
    }
    const bool drop = answer == Overwrite::Yes;
    if (drop)
        op_.step(182, [&] { core::RemoveFromList(form_.List1(), core::LowerCase(target)); });
    table.folder = file.path.empty() ? sourceFolder_ : std::filesystem::path(file.path).parent_path().string();

    const TableRoad road{op_,         form_,          run_.handOff, run_.services.events,
                         run_.options, run_.regional, dialect_,    run_.stop};
    TableJob job{target, *records, drop};
    job.referenced = referenced_.count(name) != 0;
    job.continues = answer == Overwrite::Continue;
    const VerifyTarget verified{target, file.path, name};
    if (job.continues && !firstRecordsHeld(verified, job.resumeFrom)) {
        table.skipped = true;
        op_.step(422, [&] { records->close(); });
        return true;
    }
    written = WriteTable(road, job, table);
    if (written.lost)
        return afterLoss(table, written, target);
    verifyTable(verified, table);
    if (written.rules)
        foreignKeys_.addTable(std::move(written.key), std::move(written.foreignKeys));
    return previewTable(written.identityOff);
}

// The connection was lost while the table was written: the run connects again
// once, counts what the server holds of the table, and tells it all in one
// report. Where it cannot connect again, it goes no further.
bool Converter::afterLoss(TableResult& table, const TableWritten& written, const std::string& target)
{
    table.connectionLost = true;
    op_.setRecord(written.lostAt);
    const std::string notAgain
        = MSSQL::ConnectAgain(run_.services, form_, run_.handOff.mssql_conn, commandTimeout(), run_.options.bulkCopy);
    std::optional<std::int64_t> held;
    if (!notAgain.empty()) {
        result_.ended = RunEnd::ConnectionLost;
    } else {
        op_.step(160, [&] { SayWaits(*run_.handOff.mssql_conn, dialect_, run_.services.events, form_); });
        op_.step(160, [&] { held = table.serverRows = CountRows(*run_.handOff.mssql_conn, dialect_, target); });
    }
    op_.step(416, [&] {
        throw platform::ServerError(LostConnectionText(written.lostBecause, table.table, held, notAgain));
    });
    op_.setRecord(-1);
    return notAgain.empty();
}

// A table continued must hold exactly the Paradox table's first records, as
// verify compares them; where it does not, it is left as it is, and the
// reason is told.
bool Converter::firstRecordsHeld(const VerifyTarget& target, std::int64_t& rows)
{
    bool held = false;
    op_.step(162, [&] {
        const FirstRecordsCheck check = CheckFirstRecords(verifyRoad(), target);
        if (!check.firstRecords)
            throw std::runtime_error("The table " + target.name + " is not continued and stays as it is: " + check.reason
                                     + ".");
        rows = check.rows;
        held = true;
    });
    return held;
}

// "Verify After Converting": the table read back from the server and compared
// with its Paradox table; a difference is reported, equality is noted in the result.
void Converter::verifyTable(const VerifyTarget& target, TableResult& table)
{
    if (!run_.options.verifyAfter || form_.previewMode() || !run_.handOff.mssql_conn
        || !run_.handOff.mssql_conn->isOpen() || run_.handOff.mssql_conn->lost() || table.stopped)
        return;
    op_.step(429, [&] {
        const TableVerdict verdict = VerifyTable(verifyRoad(), target);
        table.verdict = VerdictLine(verdict);
        if (!verdict.equal())
            throw std::runtime_error(table.verdict);
        reports_.note(table.verdict);  // a difference is in the log as its report
    });
}

VerifyRoad Converter::verifyRoad()
{
    return {*source_, *run_.handOff.mssql_conn, run_.options, run_.regional, run_.services.events, dialect_};
}

// Whether the server has the table already (in the list of its tables, or
// by its own rules for names), and then how many rows it holds.
Converter::Existing Converter::existingTable(const std::string& name, TableResult& table)
{
    Existing existing;
    if (!op_.step(160, [&] { existing.exists = core::ListContains(form_.List1(), name); }))
        return existing;
    auto& server = run_.handOff.mssql_conn;
    if (!server || !server->isOpen())
        return existing;
    if (!existing.exists)
        op_.step(160, [&] { existing.exists = TableExists(*server, dialect_, name); });
    if (existing.exists)
        op_.step(160, [&] { existing.rows = CountRows(*server, dialect_, name); });
    existing.records = table.sourceRecords;
    if (existing.half())
        table.existingRows = existing.rows;
    return existing;
}

Overwrite Converter::askOverwrite(const std::string& name, const Existing& existing)
{
    if (!existing.exists)
        return Overwrite::None;
    Overwrite answer = Overwrite::No;
    op_.step(162, [&] {
        platform::Message m;
        m.text = OverwriteQuestion(name, existing.half() ? existing.rows : std::nullopt, existing.records);
        m.title = "Overwrite?";
        m.buttons = platform::Buttons::YesNo;
        m.offerContinue = existing.continuable();
        if (run_.options.overwrite) {
            answer = run_.options.resume && m.offerContinue ? Overwrite::Continue
                : *run_.options.overwrite                   ? Overwrite::Yes
                                                            : Overwrite::No;
            form_.questionAnswered(m.text, answer == Overwrite::Continue ? core::Answered::Continue
                                           : answer == Overwrite::Yes    ? core::Answered::Yes
                                                                         : core::Answered::No);
            return;
        }
        if (overwriteAll_) {
            answer = *overwriteAll_ ? Overwrite::Yes : Overwrite::No;  // answered for the rest of the run
            return;
        }
        m.buttons = platform::Buttons::YesNoToAll;
        const platform::Answer a = run_.services.dialogs.show(m);
        if (a == platform::Answer::YesToAll || a == platform::Answer::NoToAll)
            overwriteAll_ = a == platform::Answer::YesToAll;
        answer = a == platform::Answer::Continue                               ? Overwrite::Continue
            : a == platform::Answer::Yes || a == platform::Answer::YesToAll ? Overwrite::Yes
                                                                             : Overwrite::No;
    });
    return answer;
}

void Converter::markNotExecuted(std::size_t tables)
{
    for (std::size_t i = result_.tables.size(); i-- > 0 && tables > 0; --tables) {
        TableResult& t = result_.tables[i];
        t.previewNotExecuted = t.leftOut.empty() && !t.skipped && !t.folder.empty();
    }
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
    run_.handOff.SQLFormOK = false;
    op_.step(430, [&] { form_.showPreview(); });
    if (!run_.handOff.SQLFormOK)
        markNotExecuted(1);
    bool wentBack = false;
    if (op_.step(432, [&] { wentBack = run_.handOff.SQLFormCancel; }) && wentBack) {
        result_.ended = RunEnd::Back;
        return false;
    }
    if (!identityOff.empty() && run_.handOff.mssql_conn && run_.handOff.mssql_conn->isOpen()) {
        try {
            run_.handOff.mssql_conn->execute(identityOff);
        } catch (...) {
            // Nothing to end: the table or its identity inserts never began.
        }
    }
    return true;
}

void Converter::finish()
{
    bool perFile = false;
    op_.step(438, [&] { perFile = !stopRequested() && form_.previewMode() && form_.previewEachFile(); });
    if (perFile) {
        op_.step(442, [&] { run_.handOff.SQLFormOK = false; });
        op_.step(444, [&] { form_.showPreview(); });
        bool executed = true;
        if (op_.step(446, [&] { executed = run_.handOff.SQLFormOK; }) && !executed) {
            markNotExecuted(result_.tables.size());
            if (run_.handOff.mssql_conn)
                op_.step(448, [&] { run_.handOff.mssql_conn->close(); });
            if (source_)
                op_.step(450, [&] { source_->close(); });
            op_.step(452, [&] { connectionsOpen_ = false; });
            op_.step(454, [&] { form_.setProgressText(""); });
        }
    }
    bool collectedOnly = false;
    op_.step(438, [&] { collectedOnly = form_.previewMode() && !perFile && !form_.previewEachTable(); });
    if (collectedOnly)
        markNotExecuted(result_.tables.size());  // collected, and no preview shown
    if (connectionsOpen_) {
        if (run_.handOff.mssql_conn)
            op_.step(458, [&] { run_.handOff.mssql_conn->close(); });
        if (source_)
            op_.step(460, [&] { source_->close(); });
    }
    op_.step(462, [&] {
        // The main window closed: nobody is left to read a message, the log keeps the word.
        if (result_.stoppedBy == kWindowClosed)
            reports_.note(StopText(result_, "closing the main window", "the answer Continue"));
        if (!run_.options.closingMessage || result_.stoppedBy == kWindowClosed)
            return;
        platform::Message m;
        m.text = kDoneMessage + ClosingSummary(result_, op_.failures() - tableReports_ + otherReports_, reports_);
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
    Run own{services, run.form, run.handOff, run.regional, run.Converting, run.options, run.stop};
    return Converter(own, reports).start();
}

}  // namespace conversion
