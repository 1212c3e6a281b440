// The verify command: a converted folder compared with the server's tables.
#include "cli/command_engine.h"
#include "cli/commands.h"
#include "cli/credentials.h"
#include "cli/output_check.h"

#include "conversion/table_names.h"
#include "conversion/verify.h"
#include "platform/odbc/odbc_server_connection.h"
#include "sources/paradox_module.h"

#include <iostream>
#include <map>
#include <memory>
#include <exception>

namespace cli {

void verifyHelp(std::ostream& out)
{
    out << "Usage: dovenmark-cli verify FOLDER --connection TEXT [--codepage NAME]\n"
           "                           [--binary] [--column-types text|sqlserver]\n"
           "       dovenmark-cli verify FOLDER --connection-file FILE [...the same options]\n\n"
           "Compares every Paradox table of FOLDER (and its subfolders) with its table in\n"
           "the database that the ODBC connection TEXT names, as convert wrote it: rows in\n"
           "any order, texts exactly, numbers and dates as values (150 equals 1.5E+2),\n"
           "bytes byte for byte, NULL only with NULL.\n"
           "--codepage, --binary and --column-types take what convert was given, so that\n"
           "each value is compared with what convert wrote for it.\n"
           << kConnectionHelp <<
           "Standard output gets one line per table: \"equal\" with its row count, or how\n"
           "many records are missing, how many rows are extra and how many records\n"
           "differ (found by the table's key), with up to three record numbers each\n"
           "(records counted from 0, as dump numbers them).\n"
           "Exit status: 0 when every table is equal, 1 otherwise, 2 for a usage error.\n"
           "Example: dovenmark-cli verify ~/data/sales --column-types sqlserver \\\n"
           "           --connection-file ~/sales.odbc\n";
}

namespace {

// Each table of the listing in run order, compared, until the verdicts cannot
// be written; the number of tables not equal.
int VerifyTables(Engine& engine, const Paradox::TableListing& listing, const conversion::VerifyRoad& road,
                 std::ostream& out, OutputCheck& output)
{
    int unequal = 0;
    const core::ListItems& names = engine.form.list2;
    const std::vector<conversion::ServerTableName> serverNames = conversion::ServerTableNames(names);
    for (std::size_t i = names.size(); i-- > 0 && output.ok();) {
        const Paradox::TableFile file = i < listing.files.size() ? listing.files[i] : Paradox::TableFile{};
        if (!file.keptBy.empty()) {
            out << names[i] << " (" << file.path << "): not compared, a table of its name was found before it\n";
            continue;
        }
        const conversion::TableVerdict verdict =
            conversion::VerifyTable(road, {serverNames[i].name, file.path, names[i]});
        out << conversion::VerdictLine(verdict) << "\n";
        output.flushed();
        unequal += verdict.equal() ? 0 : 1;
    }
    return unequal;
}

}  // namespace

int verifyRun(const std::vector<std::string>& args, std::ostream& out, std::ostream& err)
{
    std::string folder;
    std::map<std::string, std::string> options{
        {"--connection", ""}, {"--connection-file", ""}, {"--codepage", ""}, {"--column-types", "text"}};
    std::vector<std::string> rest = args;
    const bool binary = TakeFlag(rest, "--binary");
    if (!ParseArgs(rest, folder, options, err)
        || !OneConnectionOption(options["--connection"], options["--connection-file"], err)) {
        verifyHelp(err);
        return kExitUsage;
    }
    const auto columnTypes = ColumnTypesOption(options["--column-types"], err);
    if (!columnTypes || !CheckCodePage(options["--codepage"], err))
        return kExitUsage;
    std::optional<platform::SecretText> connection =
        ConnectionWithPassword(options["--connection"], options["--connection-file"], err);
    if (!connection)
        return kExitUsage;
    platform::OdbcServerConnectionFactory servers;
    Engine engine(err, folder, servers);
    engine.options.sourceCodePage = options["--codepage"];
    engine.options.transferBinary = binary;
    engine.options.columnTypes = *columnTypes;
    engine.services.serverConnectionText = std::make_shared<const platform::SecretText>(std::move(*connection));
    if (!CheckTables(engine, err))
        return kExitFailure;
    try {
        const Paradox::TableListing listing = Paradox::ListTables(engine.services, engine.form, engine.form.list2);
        const auto source = engine.sourceConnections.create();
        source->setSourceCodePage(engine.options.sourceCodePage);
        source->open(Paradox::ConnectionText(engine.form));
        const auto server = servers.create();
        server->open(*engine.services.serverConnectionText);
        const conversion::RegionalSettings regional;
        const conversion::VerifyRoad road{*source, *server, engine.options, regional, engine.events,
                                          conversion::DialectOf(*server)};
        OutputCheck output(out);
        const int unequal = VerifyTables(engine, listing, road, out, output);
        if (!output.ok())
            return output.failure(err, "cannot write the verdicts");
        return unequal == 0 ? kExitOk : kExitFailure;
    } catch (const std::exception& e) {
        err << "dovenmark-cli: " << e.what() << "\n";
        return kExitFailure;
    }
}

}  // namespace cli
