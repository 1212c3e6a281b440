// The commands that run the conversion engine without windows: script (the
// statements a per-file preview would hold), describe (the datatype records)
// and convert (a direct-mode run against a server).
#include "cli/command_engine.h"
#include "cli/commands.h"
#include "cli/credentials.h"
#include "cli/headless.h"
#include "cli/output_check.h"
#include "cli/stop_signals.h"

#include "conversion/conversion_run.h"
#include "conversion/run_options.h"
#include "conversion/row_count.h"
#include "conversion/table_names.h"
#include "conversion/verify.h"
#include "core/settings_keys.h"
#include "platform/odbc/odbc_server_connection.h"
#include "platform/paradox_source/paradox_source_connection.h"
#include "sources/mssql_module.h"
#include "sources/paradox_module.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <iostream>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <utility>
#include <string_view>

namespace cli {

namespace {

// The reason a run is asked to stop when its statements cannot be written.
constexpr int kOutputFailed = 1000;

// Hands each statement on as soon as the run adds it, so memory does not grow
// with the tables; once one cannot be written, the run is asked to stop.
class StatementStream : public conversion::ListObserver {
public:
    StatementStream(conversion::PreviewList& list, std::ostream* out, OutputCheck& check, platform::StopRequest& stop)
        : list_(list), out_(out), check_(check), stop_(stop)
    {
        list_.setObserver(this);
    }
    ~StatementStream() override { list_.setObserver(nullptr); }
    void listReset() override {}
    void rowsAppended(int first, int last) override
    {
        for (int r = first; r <= last && out_ && check_.ok(); ++r)
            *out_ << list_.text(r) << "\nGO\n";
        if (!check_.ok())
            stop_.requestFirst(kOutputFailed);
        list_.clear();
    }
    void rowChanged(int) override {}
    void rowSelected(int) override {}

private:
    conversion::PreviewList& list_;
    std::ostream* out_;
    OutputCheck& check_;
    platform::StopRequest& stop_;
};

constexpr const char* kCodePageHelp =
    "--codepage NAME reads the texts and field names of every table in that code page\n"
    "(any name iconv knows, such as CP866 or CP1251) instead of the one each table's\n"
    "header names; bytes it cannot decode become U+FFFD and are reported per table.\n";

constexpr const char* kColumnTypesHelp =
    "--column-types sqlserver gives every field SQL Server's own column type\n"
    "(NVARCHAR(n), INT, DATE, MONEY, BIT, VARBINARY...) and a keyed table its primary\n"
    "key; --column-types text (the default) makes text, date, currency and logical\n"
    "fields TEXT columns.\n";

constexpr const char* kRulesHelp =
    "--rules all (the default) also gives the tables, with SQL Server column types,\n"
    "the rules kept beside them: secondary indexes, required fields, defaults,\n"
    "ranges and references (foreign keys, after the last table); --rules keys\n"
    "gives them their primary keys only. A rule that the rows break or that\n"
    "cannot be made is reported, and costs no row.\n";

// The --rules value, or nothing (with a message) for another word.
std::optional<conversion::RuleChoice> RulesOption(const std::string& value, std::ostream& err)
{
    if (value == "all")
        return conversion::RuleChoice::All;
    if (value == "keys")
        return conversion::RuleChoice::Keys;
    err << "dovenmark-cli: --rules takes keys or all, not '" << value << "'\n";
    return std::nullopt;
}

constexpr const char* kEndingHelp =
    "Each failure is one line on standard error, \"dovenmark-cli: TABLE, record N:\n"
    "why\" (records counted from 0, as dump numbers them), and the run goes on. At\n"
    "the end standard error gets one line per table (records read, statements\n"
    "through, refused, skipped, bytes not decodable, damaged), then \"Done.\" when\n"
    "everything went through.\n";

std::string Counted(std::int64_t n, const char* one, const char* many)
{
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

// The end of `script` and `convert`, from the run's result: one line per
// table, then "Done." when everything went through, or how many failures the
// lines above told.
void WriteSummary(const conversion::RunResult& result, bool direct, std::ostream& err)
{
    std::int64_t failures = result.failures;
    for (const conversion::TableResult& t : result.tables) {
        failures += t.refused + t.failures;
        err << conversion::SummaryName(t) << ": ";
        if (t.skipped && t.existingRows) {
            err << "skipped, the table exists on the server with " << Counted(*t.existingRows, "row", "rows")
                << "; the Paradox table has " << Counted(t.sourceRecords, "record", "records") << " ("
                << (*t.existingRows < t.sourceRecords ? "--resume continues it, " : "")
                << "--overwrite yes replaces it)\n";
            continue;
        }
        if (t.skipped) {
            err << "skipped, the table exists on the server (--overwrite yes replaces it)\n";
            continue;
        }
        if (!t.leftOut.empty()) {
            err << "not converted, a table of its name was found before it\n";
            continue;
        }
        if (t.notMade) {
            err << "not converted, the server refused its CREATE TABLE (told above)\n";
            continue;
        }
        err << Counted(t.recordsRead, "record", "records") << " read";
        if (direct)
            err << ", " << Counted(t.statementsThrough, "statement", "statements") << " through";
        if (t.refused > 0)
            err << ", " << t.refused << " refused";
        if (t.inDoubt > 0)
            err << ", " << t.inDoubt << " in doubt";
        if (t.serverRows)
            err << ", " << Counted(*t.serverRows, "row", "rows") << " on the server";
        if (t.undecodableBytes > 0)
            err << ", " << Counted(static_cast<std::int64_t>(t.undecodableBytes), "byte", "bytes") << " not decodable";
        if (t.recordCountMismatch)
            err << ", damaged (its records differ from its header)";
        // The undecodable bytes and the damage were one report each.
        const int others = t.failures - (t.undecodableBytes > 0 ? 1 : 0) - (t.recordCountMismatch ? 1 : 0);
        if (others > 0)
            err << ", " << Counted(others, "other failure", "other failures");
        err << "\n";
        for (const std::string& note : t.notes)
            err << "  " << note << "\n";
    }
    // A lost connection that could not be made again ended the run (a stop names its own).
    if (result.ended == conversion::RunEnd::ConnectionLost) {
        for (const std::string& table : result.notReached)
            err << table << ": not converted, the connection being lost\n";
    }
    if (result.clean())
        err << "Done.\n";
    else if (result.stoppedBy == 0 || failures > 0)  // a stop alone is told after the summary
        err << "dovenmark-cli: not everything went through: " << Counted(failures, "failure", "failures")
            << ", each told above\n";
}

// Connections that say so on standard error while the server keeps them
// waiting. The one that checked the login is the run's own: a run logs in once.
class WaitingServers : public platform::ServerConnectionFactory {
public:
    explicit WaitingServers(std::ostream& err) : err_(err) {}
    std::unique_ptr<platform::ServerConnection> create() override
    {
        if (checked_)
            return std::move(checked_);
        auto connection = std::make_unique<platform::OdbcServerConnection>();
        connection->setWaitNotice([&err = err_](std::chrono::seconds waited) {
            err << "dovenmark-cli: " << conversion::ServerWaitingText(waited.count()) << "\n" << std::flush;
        });
        return connection;
    }
    // The connection the command checks the login with, until the run takes it.
    platform::ServerConnection& checked()
    {
        if (!checked_)
            checked_ = create();
        return *checked_;
    }

private:
    std::ostream& err_;
    std::unique_ptr<platform::ServerConnection> checked_;
};


// 0 when the run reported nothing (no refused statement, no undecodable byte, no other failure).
int ExitStatus(const conversion::RunResult& result)
{
    return result.clean() ? kExitOk : kExitFailure;
}

// A run that asks no server, as the SQL Preview for each file would hold it:
// every statement goes to `out` as soon as it is made when `statements`;
// `then` writes to `out` what the run left behind. Output that cannot be
// written ends the command.
int OfflineRun(const std::vector<std::string>& args, void (*help)(std::ostream&), std::ostream& out, bool statements,
               std::ostream& err, const std::function<void(Engine&)>& then, bool binary = false,
               bool summary = false, std::string_view mark = {})
{
    std::string folder;
    std::map<std::string, std::string> options{{"--codepage", ""}, {"--column-types", "text"}, {"--rules", "all"}};
    if (!ParseArgs(args, folder, options, err)) {
        help(err);
        return kExitUsage;
    }
    const auto columnTypes = ColumnTypesOption(options["--column-types"], err);
    const auto rules = RulesOption(options["--rules"], err);
    if (!columnTypes || !rules || !CheckCodePage(options["--codepage"], err))
        return kExitUsage;
    OfflineServerFactory servers;
    Engine engine(err, folder, servers);
    engine.options.sourceCodePage = options["--codepage"];
    engine.options.transferBinary = binary;
    engine.options.columnTypes = *columnTypes;
    engine.options.rules = *rules;
    engine.form.quiet = true;
    engine.form.preview = true;
    engine.form.eachFile = true;
    if (!CheckTables(engine, err))
        return kExitFailure;
    if (statements)
        out << mark;
    OutputCheck output(out);
    platform::StopRequest stop;
    StatementStream stream(engine.handOff.preview.list(), statements ? &out : nullptr, output, stop);
    const conversion::RunResult result = engine.run(&stop);
    if (output.ok())
        then(engine);
    if (!output.flushed())
        return output.failure(err, statements ? "cannot write the statements" : "cannot write the fields");
    if (summary)
        WriteSummary(result, /*direct=*/false, err);
    return ExitStatus(result);
}

}  // namespace

bool CheckCodePage(const std::string& name, std::ostream& err)
{
    try {
        platform::CheckSourceCodePage(name);
        return true;
    } catch (const std::invalid_argument&) {
    }
    err << "dovenmark-cli: unknown code page '" << name
        << "' (names such as CP437, CP850, CP866 or CP1251 are known; iconv -l lists them all)\n";
    return false;
}

void scriptHelp(std::ostream& out)
{
    out << "Usage: dovenmark-cli script FOLDER [--codepage NAME] [--binary] [--bom]\n"
           "                           [--column-types text|sqlserver] [--rules keys|all]\n\n"
           "Writes every statement that the SQL Preview for each file would hold for the\n"
           "Paradox tables of FOLDER (and its subfolders), in run order, each followed by a\n"
           "line holding only GO. No server is asked, so no DROP TABLE is written.\n"
           << kCodePageHelp << kColumnTypesHelp << kRulesHelp <<
           "--binary writes picture, BLOB, OLE and formatted-memo fields as binary\n"
           "constants (0x...) instead of NULL.\n"
           "The statements are UTF-8; --bom starts them with the byte-order mark, by which\n"
           "query windows and editors know UTF-8 (sqlcmd needs -f 65001 either way).\n"
           << kEndingHelp <<
           "Exit status: 0 when every table was read whole, 1 otherwise, 2 for a usage\n"
           "error.\n"
           "Example: dovenmark-cli script ~/data/sales > sales.sql\n";
}

int scriptRun(const std::vector<std::string>& args, std::ostream& out, std::ostream& err)
{
    std::vector<std::string> rest = args;
    const bool binary = TakeFlag(rest, "--binary");
    const bool bom = TakeFlag(rest, "--bom");
    return OfflineRun(rest, scriptHelp, out, true, err, [](Engine&) {}, binary, /*summary=*/true,
                      bom ? std::string_view("\xEF\xBB\xBF") : std::string_view());
}

void describeHelp(std::ostream& out)
{
    out << "Usage: dovenmark-cli describe FOLDER [--codepage NAME]\n"
           "                             [--column-types text|sqlserver] [--rules keys|all]\n\n"
           "Prints one line per field of every table of FOLDER, in run order: table, field,\n"
           "Paradox type and SQL Server column type, separated by tabs; with SQL Server\n"
           "column types, then one line per rule of the table: table, rule, what Paradox\n"
           "holds, what the server gets (a picture is not enforced by the server).\n"
           << kCodePageHelp << kColumnTypesHelp << kRulesHelp <<
           "Example: dovenmark-cli describe ~/data/sales\n";
}

int describeRun(const std::vector<std::string>& args, std::ostream& out, std::ostream& err)
{
    return OfflineRun(args, describeHelp, out, false, err, [&out](Engine& engine) {
        auto& records = engine.handOff.datatypes.list();
        for (int r = 1; r <= records.count(); ++r) {
            const auto& d = records.record(r);
            out << d.table << '\t' << d.field << '\t' << d.paradoxType << '\t' << d.sqlType << '\n';
        }
    });
}

void convertHelp(std::ostream& out)
{
    out << "Usage: dovenmark-cli convert FOLDER --connection TEXT [--overwrite yes|no]\n"
           "                            [--resume] [--codepage NAME] [--binary]\n"
           "                            [--column-types text|sqlserver] [--per-trip N]\n"
           "                            [--rules keys|all] [--timeout SECONDS] [--bulk]\n"
           "       dovenmark-cli convert FOLDER --connection-file FILE [...the same options]\n\n"
           "Converts every Paradox table of FOLDER (and its subfolders) straight into the\n"
           "database that the ODBC connection TEXT names, statement by statement.\n"
           << kConnectionHelp <<
           "The inserts of a table are committed together, a quarter of a second's worth\n"
           "at a time and at the table's end; a statement the server refuses is reported\n"
           "alone and costs no other (where the driver has no transactions, each\n"
           "statement is committed on its own).\n"
           "A table that already exists on the server is dropped and converted again with\n"
           "--overwrite yes; with --overwrite no (the default) it is skipped. A table that\n"
           "holds other than its Paradox table's records (a run that was stopped) is named\n"
           "with both counts, and skipping it is a failure. --resume continues such a table\n"
           "where it holds fewer rows, once the rows present prove to be its first records.\n"
           "After each table the server is asked how many rows it holds.\n"
           "While the server does not answer, a line says so after 10 seconds and every\n"
           "30 seconds after; --timeout SECONDS (the setting \"Query Timeout\"; 0, the\n"
           "default, waits up to 5000) ends the wait and takes the connection for lost:\n"
           "the table ends with one line, the run connects again for the next one.\n"
           "SIGINT, SIGTERM or SIGHUP stop the run at the next statement: what is not\n"
           "committed is rolled back, the table and the rows stored are named, and the\n"
           "exit status is 128 plus the signal's number; a second signal ends it at once.\n"
           << kCodePageHelp <<
           "--binary transfers picture, BLOB, OLE and formatted-memo fields as their\n"
           "bytes (the setting \"Transfer Binary\"); without it they arrive as NULL.\n"
           << kColumnTypesHelp << kRulesHelp <<
           "A table or folder that cannot be read, a damaged table, and a table left out\n"
           "because one of the same name was found before it are reported as failures.\n"
           "--per-trip N sends up to N inserts of a table in one round trip (the setting\n"
           "\"Statements Per Round Trip\", 1 to 32767; "
        << conversion::TransactionLimits{}.statementsPerCall
        << " unless given); each keeps its\n"
           "text, and 1 sends every statement on its own.\n"
           "--bulk sends the rows as SQL Server's bulk load (FreeTDS's bulk copy; the\n"
           "setting \"Bulk Copy\"), in batches of the same bounds: a row the load cannot\n"
           "carry as its INSERT would (a value longer than its column or than 2,000\n"
           "characters, a TEXT column's text beyond ASCII), the rows after it, and the\n"
           "rows of a batch the server refuses go as INSERTs. With another driver every\n"
           "row goes as an INSERT.\n"
           << kEndingHelp <<
           "Exit status: 0 when every statement succeeded, 1 when any failed, a table held\n"
           "bytes its code page could not decode, anything above was reported, or nothing\n"
           "could be converted, 2 for a usage error.\n"
           "Example: dovenmark-cli convert ~/data/sales --overwrite yes \\\n"
           "    --connection 'Driver={SQL Server};Server=db1,1433;Database=Sales;Uid=sa;'\n"
           "(asks for sa's password on a terminal)\n";
}

int convertRun(const std::vector<std::string>& args, std::ostream& /*out*/, std::ostream& err)
{
    std::string folder;
    std::map<std::string, std::string> options{
        {"--connection", ""}, {"--connection-file", ""}, {"--overwrite", "no"}, {"--codepage", ""},
        {"--column-types", "text"}, {"--per-trip", ""}, {"--rules", "all"}, {"--timeout", ""}};
    std::vector<std::string> rest = args;
    const bool binary = TakeFlag(rest, "--binary");
    const bool resume = TakeFlag(rest, "--resume");
    const bool bulk = TakeFlag(rest, "--bulk");
    const bool parsed = ParseArgs(rest, folder, options, err);
    const bool overwriteKnown = options["--overwrite"] == "yes" || options["--overwrite"] == "no";
    if (parsed && !overwriteKnown)
        err << "dovenmark-cli: --overwrite takes yes or no, not '" << options["--overwrite"] << "'\n";
    const std::optional<std::size_t> perTrip =
        core::StatementsPerRoundTrip(options["--per-trip"], conversion::TransactionLimits{}.statementsPerCall);
    if (parsed && !perTrip)
        err << "dovenmark-cli: --per-trip needs a number from 1 to 32767, not '" << options["--per-trip"] << "'\n";
    const std::optional<int> timeout = core::QueryTimeoutSeconds(options["--timeout"]);
    if (parsed && !timeout)
        err << "dovenmark-cli: --timeout needs a number of seconds from 0 to 999999, not '" << options["--timeout"]
            << "'\n";
    if (!parsed || !OneConnectionOption(options["--connection"], options["--connection-file"], err)
        || !overwriteKnown || !perTrip || !timeout) {
        convertHelp(err);
        return kExitUsage;
    }
    const auto columnTypes = ColumnTypesOption(options["--column-types"], err);
    const auto rules = RulesOption(options["--rules"], err);
    if (!columnTypes || !rules || !CheckCodePage(options["--codepage"], err))
        return kExitUsage;
    std::optional<platform::SecretText> connection =
        ConnectionWithPassword(options["--connection"], options["--connection-file"], err);
    if (!connection)
        return kExitUsage;
    WaitingServers servers(err);
    Engine engine(err, folder, servers);
    engine.options.sourceCodePage = options["--codepage"];
    engine.options.transferBinary = binary;
    engine.options.columnTypes = *columnTypes;
    engine.options.rules = *rules;
    engine.options.overwrite = options["--overwrite"] == "yes";
    engine.options.resume = resume;
    engine.options.bulkCopy = bulk;
    engine.options.queryTimeout = *timeout;
    engine.options.transactions.statementsPerCall = *perTrip;
    engine.services.serverConnectionText = std::make_shared<const platform::SecretText>(std::move(*connection));
    if (!CheckTables(engine, err))
        return kExitFailure;
    if (bulk)
        servers.checked().allowBulkLoad();
    if (const auto why = MSSQL::NoConnectionReason(engine.services, engine.form, servers.checked())) {
        err << "dovenmark-cli: " << *why << "\n";
        return kExitFailure;
    }
    const StopSignals signals;
    const conversion::RunResult result = engine.run(&signals.request());
    WriteSummary(result, /*direct=*/true, err);
    if (result.stoppedBy != 0) {
        err << "dovenmark-cli: " << conversion::StopText(result, SignalName(result.stoppedBy), "--resume") << "\n";
        return 128 + result.stoppedBy;
    }
    return ExitStatus(result);
}

}  // namespace cli
