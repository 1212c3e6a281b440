// The commands that run the conversion engine without windows: script (the
// statements a per-file preview would hold), describe (the datatype records)
// and convert (a direct-mode run against a server).
#include "cli/commands.h"
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

struct Engine {
    Engine(std::ostream& err, const std::string& folder, platform::ServerConnectionFactory& servers)
        : form(err), dialogs(err), servers_(servers)
    {
        form.folderText = folder;
        form.terminal = ::isatty(STDERR_FILENO) == 1;
        options.overwrite = false;
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
    // The command's choices: --codepage, --binary, --overwrite; no copy is offered.
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

bool CheckTables(Engine& engine, const std::string& folder, std::ostream& err)
{
    bool has = false;
    try {
        has = Paradox::HasTables(engine.form);
    } catch (const std::exception& e) {
        err << "dovenmark-cli: " << e.what() << "\n";
    }
    if (!has)
        err << "dovenmark-cli: no Paradox tables (*.db) in " << folder << "\n";
    return has;
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
               std::ostream& err, const std::function<void(Engine&)>& then, bool binary = false)
{
    std::string folder;
    std::map<std::string, std::string> options{{"--codepage", ""}};
    if (!ParseArgs(args, folder, options, err)) {
        help(err);
        return kExitUsage;
    }
    if (!CheckCodePage(options["--codepage"], err))
        return kExitUsage;
    OfflineServerFactory servers;
    Engine engine(err, folder, servers);
    engine.options.sourceCodePage = options["--codepage"];
    engine.options.transferBinary = binary;
    engine.form.quiet = true;
    engine.form.preview = true;
    engine.form.eachFile = true;
    engine.dialogs.quietDone = true;
    if (!CheckTables(engine, folder, err))
        return kExitFailure;
    StatementStream stream(engine.handOff.preview.list(), statements);
    const conversion::RunResult result = engine.run();
    then(engine);
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
    out << "Usage: dovenmark-cli script FOLDER [--codepage NAME] [--binary]\n\n"
           "Writes every statement that the SQL Preview for each file would hold for the\n"
           "Paradox tables of FOLDER (and its subfolders), in run order, each followed by a\n"
           "line holding only GO. No server is asked, so no DROP TABLE is written.\n"
           << kCodePageHelp <<
           "--binary writes picture, BLOB, OLE and formatted-memo fields as binary\n"
           "constants (0x...) instead of NULL.\n"
           "Example: dovenmark-cli script ~/data/sales > sales.sql\n";
}

int scriptRun(const std::vector<std::string>& args, std::ostream& out, std::ostream& err)
{
    std::vector<std::string> rest = args;
    const bool binary = TakeFlag(rest, "--binary");
    return OfflineRun(rest, scriptHelp, &out, err, [&out](Engine&) { out.flush(); }, binary);
}

void describeHelp(std::ostream& out)
{
    out << "Usage: dovenmark-cli describe FOLDER [--codepage NAME]\n\n"
           "Prints one line per field of every table of FOLDER, in run order: table, field,\n"
           "Paradox type and SQL Server column type, separated by tabs.\n"
           << kCodePageHelp <<
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
    out << "Usage: dovenmark-cli convert FOLDER --connection TEXT [--overwrite yes|no] [--codepage NAME] [--binary]\n"
           "                             [--per-trip N]\n\n"
           "Converts every Paradox table of FOLDER (and its subfolders) straight into the\n"
           "database that the ODBC connection TEXT names, statement by statement.\n"
           "The inserts of a table are committed together, a quarter of a second's worth\n"
           "at a time and at the table's end; a statement the server refuses is reported\n"
           "alone and costs no other (where the driver has no transactions, each\n"
           "statement is committed on its own).\n"
           "A table that already exists on the server is dropped and converted again with\n"
           "--overwrite yes; with --overwrite no (the default) it is skipped.\n"
           << kCodePageHelp <<
           "--binary transfers picture, BLOB, OLE and formatted-memo fields as their\n"
           "bytes (the setting \"Transfer Binary\"); without it they arrive as NULL.\n"
           "--per-trip N sends up to N inserts of a table in one round trip (the setting\n"
           "\"Statements Per Round Trip\", 1 to 32767; "
        << conversion::TransactionLimits{}.statementsPerCall
        << " unless given); each keeps its text,\n"
           "and 1 sends every statement on its own.\n"
           "Every error is written to standard error and the run goes on.\n"
           "Exit status: 0 when every statement succeeded, 1 when any failed, a table held\n"
           "bytes its code page could not decode, or nothing could be converted, 2 for a\n"
           "usage error.\n"
           "Example: dovenmark-cli convert ~/data/sales --overwrite yes \\\n"
           "           --connection 'Driver={SQL Server};Server=db1,1433;Database=Sales;Uid=sa;Pwd=secret;'\n";
}

int convertRun(const std::vector<std::string>& args, std::ostream& /*out*/, std::ostream& err)
{
    std::string folder;
    std::map<std::string, std::string> options{
        {"--connection", ""}, {"--overwrite", "no"}, {"--codepage", ""}, {"--per-trip", ""}};
    std::vector<std::string> rest = args;
    const bool binary = TakeFlag(rest, "--binary");
    const bool parsed = ParseArgs(rest, folder, options, err);
    const std::optional<std::size_t> perTrip = StatementsPerTrip(options["--per-trip"]);
    if (!parsed || options["--connection"].empty()
        || (options["--overwrite"] != "yes" && options["--overwrite"] != "no") || !perTrip) {
        if (options["--connection"].empty())
            err << "dovenmark-cli: --connection TEXT is needed\n";
        if (!perTrip)
            err << "dovenmark-cli: --per-trip needs a number from 1 to 32767, not '" << options["--per-trip"] << "'\n";
        convertHelp(err);
        return kExitUsage;
    }
    if (!CheckCodePage(options["--codepage"], err))
        return kExitUsage;
    platform::OdbcServerConnectionFactory servers;
    Engine engine(err, folder, servers);
    engine.options.sourceCodePage = options["--codepage"];
    engine.options.transferBinary = binary;
    engine.options.overwrite = options["--overwrite"] == "yes";
    engine.options.transactions.statementsPerCall = *perTrip;
    engine.services.serverConnectionText = options["--connection"];
    if (!CheckTables(engine, folder, err))
        return kExitFailure;
    try {
        servers.create()->open(options["--connection"]);
    } catch (const std::exception& e) {
        err << "dovenmark-cli: the server did not accept the login: " << e.what() << "\n";
        return kExitFailure;
    }
    return ExitStatus(engine.run());
}

}  // namespace cli
