// The commands that run the conversion engine without windows: script (the
// statements a per-file preview would hold), describe (the datatype records)
// and convert (a direct-mode run against a server).
#include "cli/commands.h"
#include "cli/credentials.h"
#include "cli/headless.h"

#include "conversion/conversion_run.h"
#include "platform/odbc/odbc_server_connection.h"
#include "platform/paradox_source/paradox_source_connection.h"
#include "sources/mssql_module.h"
#include "sources/paradox_module.h"

#include <unistd.h>

#include <algorithm>
#include <functional>
#include <iostream>
#include <map>
#include <optional>
#include <stdexcept>
#include <string_view>

namespace cli {

namespace {

// Hands each statement on as soon as the run adds it, so memory does not grow
// with the tables.
class StatementStream : public conversion::ListObserver {
public:
    StatementStream(conversion::PreviewList& list, std::ostream* out) : list_(list), out_(out)
    {
        list_.setObserver(this);
    }
    ~StatementStream() override { list_.setObserver(nullptr); }
    void listReset() override {}
    void rowsAppended(int first, int last) override
    {
        for (int r = first; r <= last; ++r) {
            if (out_)
                *out_ << list_.text(r) << "\nGO\n";
        }
        list_.clear();
    }
    void rowChanged(int) override {}
    void rowSelected(int) override {}

private:
    conversion::PreviewList& list_;
    std::ostream* out_;
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

// The --column-types value, or nothing (with a message) for another word.
std::optional<conversion::ColumnTypes> ColumnTypesOption(const std::string& value, std::ostream& err)
{
    if (value == "text")
        return conversion::ColumnTypes::Text;
    if (value == "sqlserver")
        return conversion::ColumnTypes::SqlServer;
    err << "dovenmark-cli: --column-types takes text or sqlserver, not '" << value << "'\n";
    return std::nullopt;
}

constexpr const char* kEndingHelp =
    "Each failure is one line on standard error, \"dovenmark-cli: TABLE, record N:\n"
    "why\" (records counted from 0, as dump numbers them), and the run goes on. At\n"
    "the end standard error gets one line per table (records read, statements\n"
    "through, refused, skipped, bytes not decodable, damaged), then \"Done.\" when\n"
    "everything went through.\n";

struct Engine {
    Engine(std::ostream& err, const std::string& folder, platform::ServerConnectionFactory& servers)
        : form(err), dialogs(err), servers_(servers)
    {
        form.folderText = folder;
        form.terminal = dialogs.terminal = ::isatty(STDERR_FILENO) == 1;
        options.overwrite = false;
        options.codePageChoice = "--codepage NAME";
        options.closingMessage = false;  // the command ends with its own summary
    }

    HeadlessForm form;
    HeadlessDialogs dialogs;
    platform::NoEventLoop events;
    platform::ServerConnectionFactory& servers_;
    platform::ParadoxSourceConnectionFactory sourceConnections;
    NoDesktop desktop;
    NoClipboard clipboard;
    NoSettings settings;
    core::Services services{dialogs, settings, clipboard, desktop, events, servers_, sourceConnections, {"", "/"}};
    conversion::PreviewHandOff handOff;
    // The command's choices: --codepage, --binary, --column-types, --overwrite; no copy is offered.
    conversion::RunOptions options{/*offerCopy=*/false};
    bool converting = false;

    conversion::RunResult run()
    {
        conversion::Run r{services, form, handOff, {}, converting, options};
        return conversion::StartConverting(r);
    }
};

// Takes a flag without a value out of args; true when it was there.
bool TakeFlag(std::vector<std::string>& args, const std::string& flag)
{
    const auto at = std::find(args.begin(), args.end(), flag);
    if (at == args.end())
        return false;
    args.erase(at);
    return true;
}

// Parses "FOLDER" plus the options given; returns false on a usage error.
bool ParseArgs(const std::vector<std::string>& args, std::string& folder,
               std::map<std::string, std::string>& options, std::ostream& err)
{
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a.rfind("--", 0) == 0) {
            if (!options.count(a) || i + 1 >= args.size()) {
                err << "dovenmark-cli: unknown option or missing value: " << a << "\n";
                return false;
            }
            options[a] = args[++i];
        } else if (folder.empty()) {
            folder = a;
        } else {
            err << "dovenmark-cli: unexpected argument: " << a << "\n";
            return false;
        }
    }
    if (folder.empty()) {
        err << "dovenmark-cli: a FOLDER is needed\n";
        return false;
    }
    return true;
}

// Whether the folder holds tables; when not, says why.
bool CheckTables(Engine& engine, std::ostream& err)
{
    bool has = false;
    try {
        has = Paradox::HasTables(engine.services, engine.form);
    } catch (const std::exception& e) {
        err << "dovenmark-cli: " << e.what() << "\n";
        return false;
    }
    if (!has)
        err << "dovenmark-cli: " << Paradox::NoTablesReason(engine.form.folder()) << "\n";
    return has;
}

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
        if (t.skipped) {
            err << "skipped, the table exists on the server (--overwrite yes replaces it)\n";
            continue;
        }
        if (!t.leftOut.empty()) {
            err << "not converted, a table of its name was found before it\n";
            continue;
        }
        err << Counted(t.recordsRead, "record", "records") << " read";
        if (direct)
            err << ", " << Counted(t.statementsThrough, "statement", "statements") << " through";
        if (t.refused > 0)
            err << ", " << t.refused << " refused";
        if (t.undecodableBytes > 0)
            err << ", " << Counted(static_cast<std::int64_t>(t.undecodableBytes), "byte", "bytes") << " not decodable";
        if (t.recordCountMismatch)
            err << ", damaged (its records differ from its header)";
        // The undecodable bytes and the damage were one report each.
        const int others = t.failures - (t.undecodableBytes > 0 ? 1 : 0) - (t.recordCountMismatch ? 1 : 0);
        if (others > 0)
            err << ", " << Counted(others, "other failure", "other failures");
        err << "\n";
    }
    if (result.clean())
        err << "Done.\n";
    else
        err << "dovenmark-cli: not everything went through: " << Counted(failures, "failure", "failures")
            << ", each told above\n";
}

// --per-trip's value: empty gives the program's own number; nothing for a text
// that is no number from 1 to 32767.
std::optional<std::size_t> StatementsPerTrip(const std::string& text)
{
    if (text.empty())
        return conversion::TransactionLimits{}.statementsPerCall;
    std::size_t used = 0;
    int value = 0;
    try {
        value = std::stoi(text, &used);
    } catch (const std::exception&) {
        return std::nullopt;
    }
    if (used != text.size() || value < 1 || value > 32767)
        return std::nullopt;
    return static_cast<std::size_t>(value);
}

// 0 when the run reported nothing (no refused statement, no undecodable byte, no other failure).
int ExitStatus(const conversion::RunResult& result)
{
    return result.clean() ? kExitOk : kExitFailure;
}

// A run that asks no server, as the SQL Preview for each file would hold it:
// every statement goes to `statements` (nowhere when null) as soon as it is
// made; `then` looks at what the run left behind.
int OfflineRun(const std::vector<std::string>& args, void (*help)(std::ostream&), std::ostream* statements,
               std::ostream& err, const std::function<void(Engine&)>& then, bool binary = false,
               bool summary = false, std::string_view mark = {})
{
    std::string folder;
    std::map<std::string, std::string> options{{"--codepage", ""}, {"--column-types", "text"}};
    if (!ParseArgs(args, folder, options, err)) {
        help(err);
        return kExitUsage;
    }
    const auto columnTypes = ColumnTypesOption(options["--column-types"], err);
    if (!columnTypes || !CheckCodePage(options["--codepage"], err))
        return kExitUsage;
    OfflineServerFactory servers;
    Engine engine(err, folder, servers);
    engine.options.sourceCodePage = options["--codepage"];
    engine.options.transferBinary = binary;
    engine.options.columnTypes = *columnTypes;
    engine.form.quiet = true;
    engine.form.preview = true;
    engine.form.eachFile = true;
    if (!CheckTables(engine, err))
        return kExitFailure;
    if (statements)
        *statements << mark;
    StatementStream stream(engine.handOff.preview.list(), statements);
    const conversion::RunResult result = engine.run();
    then(engine);
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
           "                           [--column-types text|sqlserver]\n\n"
           "Writes every statement that the SQL Preview for each file would hold for the\n"
           "Paradox tables of FOLDER (and its subfolders), in run order, each followed by a\n"
           "line holding only GO. No server is asked, so no DROP TABLE is written.\n"
           << kCodePageHelp << kColumnTypesHelp <<
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
    return OfflineRun(rest, scriptHelp, &out, err, [&out](Engine&) { out.flush(); }, binary, /*summary=*/true,
                      bom ? std::string_view("\xEF\xBB\xBF") : std::string_view());
}

void describeHelp(std::ostream& out)
{
    out << "Usage: dovenmark-cli describe FOLDER [--codepage NAME]\n"
           "                             [--column-types text|sqlserver]\n\n"
           "Prints one line per field of every table of FOLDER, in run order: table, field,\n"
           "Paradox type and SQL Server column type, separated by tabs.\n"
           << kCodePageHelp << kColumnTypesHelp <<
           "Example: dovenmark-cli describe ~/data/sales\n";
}

int describeRun(const std::vector<std::string>& args, std::ostream& out, std::ostream& err)
{
    return OfflineRun(args, describeHelp, nullptr, err, [&out](Engine& engine) {
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
           "                            [--codepage NAME] [--binary]\n"
           "                            [--column-types text|sqlserver] [--per-trip N]\n"
           "       dovenmark-cli convert FOLDER --connection-file FILE [...the same options]\n\n"
           "Converts every Paradox table of FOLDER (and its subfolders) straight into the\n"
           "database that the ODBC connection TEXT names, statement by statement.\n"
           << kConnectionHelp <<
           "The inserts of a table are committed together, a quarter of a second's worth\n"
           "at a time and at the table's end; a statement the server refuses is reported\n"
           "alone and costs no other (where the driver has no transactions, each\n"
           "statement is committed on its own).\n"
           "A table that already exists on the server is dropped and converted again with\n"
           "--overwrite yes; with --overwrite no (the default) it is skipped.\n"
           << kCodePageHelp <<
           "--binary transfers picture, BLOB, OLE and formatted-memo fields as their\n"
           "bytes (the setting \"Transfer Binary\"); without it they arrive as NULL.\n"
           << kColumnTypesHelp <<
           "A table or folder that cannot be read, a damaged table, and a table left out\n"
           "because one of the same name was found before it are reported as failures.\n"
           "--per-trip N sends up to N inserts of a table in one round trip (the setting\n"
           "\"Statements Per Round Trip\", 1 to 32767; "
        << conversion::TransactionLimits{}.statementsPerCall
        << " unless given); each keeps its\n"
           "text, and 1 sends every statement on its own.\n"
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
        {"--column-types", "text"}, {"--per-trip", ""}};
    std::vector<std::string> rest = args;
    const bool binary = TakeFlag(rest, "--binary");
    const bool parsed = ParseArgs(rest, folder, options, err);
    const bool overwriteKnown = options["--overwrite"] == "yes" || options["--overwrite"] == "no";
    if (parsed && !overwriteKnown)
        err << "dovenmark-cli: --overwrite takes yes or no, not '" << options["--overwrite"] << "'\n";
    const std::optional<std::size_t> perTrip = StatementsPerTrip(options["--per-trip"]);
    if (parsed && !perTrip)
        err << "dovenmark-cli: --per-trip needs a number from 1 to 32767, not '" << options["--per-trip"] << "'\n";
    if (!parsed || !OneConnectionOption(options["--connection"], options["--connection-file"], err)
        || !overwriteKnown || !perTrip) {
        convertHelp(err);
        return kExitUsage;
    }
    const auto columnTypes = ColumnTypesOption(options["--column-types"], err);
    if (!columnTypes || !CheckCodePage(options["--codepage"], err))
        return kExitUsage;
    const std::optional<std::string> connection =
        ConnectionWithPassword(options["--connection"], options["--connection-file"], err);
    if (!connection)
        return kExitUsage;
    platform::OdbcServerConnectionFactory servers;
    Engine engine(err, folder, servers);
    engine.options.sourceCodePage = options["--codepage"];
    engine.options.transferBinary = binary;
    engine.options.columnTypes = *columnTypes;
    engine.options.overwrite = options["--overwrite"] == "yes";
    engine.options.transactions.statementsPerCall = *perTrip;
    engine.services.serverConnectionText = *connection;
    if (!CheckTables(engine, err))
        return kExitFailure;
    if (const auto why = MSSQL::NoConnectionReason(engine.services, engine.form)) {
        err << "dovenmark-cli: " << *why << "\n";
        return kExitFailure;
    }
    const conversion::RunResult result = engine.run();
    WriteSummary(result, /*direct=*/true, err);
    return ExitStatus(result);
}

}  // namespace cli
