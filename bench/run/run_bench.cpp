// The conversion run in direct mode against a bare loop of the same statements.
//
// A table of ten mixed fields is written to a scratch folder; the run converts
// it through the real Paradox source connection and the real ODBC server
// connection into an SQLite file standing in for SQL Server; the bare loop
// executes the very statements the run sends (collected beforehand by a
// preview-mode run, outside the timed part) through the same driver, one
// OdbcServerConnection::execute each, all in one transaction. The run is also
// timed the old way, each statement committed on its own (a connection that
// refuses to switch autocommit off). All three are repeated, in rotating
// order, and the medians of the ratios compared.
//
//   bench_run [--records N] [--repeat R] [--target DIR] [--old-way-records M]
//                                     the comparison; the databases in DIR (a
//                                     disk folder, say); the old way on a table
//                                     of M records (it commits each alone, so
//                                     its records per second do not change with M)
//   bench_run --only-run [--records N]       one direct-mode run (for a profiler)
//   bench_run --only-loop [--records N]      one bare loop (for a profiler)
//   bench_run --write-table FOLDER N         writes the table of N records and exits
#include "cli/headless.h"
#include "bench/support/bench_support.h"

#include "conversion/conversion_run.h"
#include "platform/odbc/odbc_server_connection.h"
#include "platform/paradox_source/paradox_source_connection.h"

#include <sqlite3.h>

#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

namespace {

using namespace benchsupport;

struct RunResult {
    double seconds = 0;
    int reports = 0;
    std::string firstReport;
};

// One whole run as the headless command drives it.
RunResult ConvertOnce(const fs::path& folder, const fs::path& database, bool preview,
                      std::vector<std::string>* statements = nullptr, bool transactions = true)
{
    cli::HeadlessForm form(std::cerr);
    form.quiet = true;
    form.folderText = folder.string();
    form.preview = preview;
    form.eachFile = preview;
    RecordingDialogs dialogs;
    platform::NoEventLoop events;
    platform::OdbcServerConnectionFactory transactionServers;
    EachStatementCommittedFactory eachStatementServers;
    platform::ServerConnectionFactory& servers =
        transactions ? static_cast<platform::ServerConnectionFactory&>(transactionServers) : eachStatementServers;
    platform::ParadoxSourceConnectionFactory sourceConnections;
    cli::NoDesktop desktop;
    cli::NoSettings settings;
    conversion::PreviewHandOff handOff;
    bool converting = false;
    cli::NoClipboard clipboard;
    core::Services services{dialogs, settings, clipboard, desktop, events, servers, sourceConnections, {"", "/"}};
    services.serverConnectionText = std::make_shared<const platform::SecretText>(PrivateOdbc::ConnectionText(database));
    conversion::Run run{services, form, handOff, {}, converting, {/*offerCopy=*/false}};

    const auto start = Clock::now();
    conversion::StartConverting(run);
    RunResult result{SecondsSince(start), dialogs.others(), dialogs.firstOther()};
    if (dialogs.messages.empty() || dialogs.messages.back().text != "Done.") {
        ++result.reports;
        if (result.firstReport.empty())
            result.firstReport = "the run did not end with \"Done.\"";
    }
    if (statements) {
        auto& list = handOff.preview.list();
        statements->clear();
        statements->reserve(static_cast<std::size_t>(list.count()));
        for (int r = 1; r <= list.count(); ++r)
            statements->emplace_back(list.text(r));
    }
    return result;
}

// The same statements, one execute each, in one transaction on one connection
// opened the run's way: the least any run of them can take.
double BareLoop(const std::vector<std::string>& statements, const fs::path& database)
{
    const auto start = Clock::now();
    platform::OdbcServerConnection connection;
    connection.setCursorLocation(platform::ServerConnection::kServerSideCursor);
    connection.setCommandTimeout(5000);
    connection.setConnectionTimeout(5000);
    connection.open(PrivateOdbc::ConnectionText(database));
    if (!connection.setAutoCommit(false))
        throw std::runtime_error("the driver cannot switch autocommit off");
    for (const std::string& s : statements)
        connection.execute(s);
    connection.commit();
    connection.close();
    return SecondsSince(start);
}

}  // namespace

int main(int argc, char** argv)
{
    int records = 100'000;
    int repeat = 5;
    fs::path target;
    int oldWayRecords = 0;
    enum class Mode { Compare, OnlyRun, OnlyLoop } mode = Mode::Compare;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--records" && i + 1 < argc) {
            records = std::atoi(argv[++i]);
        } else if (a == "--repeat" && i + 1 < argc) {
            repeat = std::atoi(argv[++i]);
        } else if (a == "--target" && i + 1 < argc) {
            target = argv[++i];
        } else if (a == "--old-way-records" && i + 1 < argc) {
            oldWayRecords = std::atoi(argv[++i]);
        } else if (a == "--only-run") {
            mode = Mode::OnlyRun;
        } else if (a == "--only-loop") {
            mode = Mode::OnlyLoop;
        } else if (a == "--write-table" && i + 2 < argc) {
            WriteRunTable(argv[i + 1], std::atoi(argv[i + 2]));
            return 0;
        } else {
            std::cerr << "usage: bench_run [--records N] [--repeat R] [--target DIR] [--old-way-records M]\n"
                         "                 [--only-run|--only-loop]\n"
                         "       bench_run --write-table FOLDER N\n";
            return 2;
        }
    }

    PrivateOdbc odbc;
    ScratchFolder scratch("dovenmark-bench-run");
    const fs::path folder = scratch.path() / "tables";
    WriteRunTable(folder, records);
    if (oldWayRecords <= 0)
        oldWayRecords = records;
    const fs::path oldWayFolder = oldWayRecords == records ? folder : scratch.path() / "old-way-tables";
    if (oldWayFolder != folder)
        WriteRunTable(oldWayFolder, oldWayRecords);

    // The statements the run sends, collected outside the timed part.
    std::vector<std::string> statements;
    const fs::path collectDb = scratch.path() / "collect.sqlite";
    const RunResult collected = ConvertOnce(folder, collectDb, /*preview=*/true, &statements);
    RemoveDatabase(collectDb);
    std::size_t bytes = 0;
    for (const auto& s : statements)
        bytes += s.size();
    std::cout << "table: " << records << " records of 10 fields; " << statements.size() << " statements, "
              << bytes << " bytes of SQL\n";
    if (collected.reports != 0 || statements.size() != static_cast<std::size_t>(records) + 1) {
        std::cerr << "the preview-mode run did not produce one statement per record plus the create: "
                  << collected.firstReport << "\n";
        return 1;
    }

    const fs::path database = (target.empty() ? scratch.path() : target)
        / ("dovenmark-bench-target-" + std::to_string(::getpid()) + ".sqlite");
    const std::string where = target.empty() ? "on " + scratch.path().parent_path().string() : "in " + target.string();
    std::cout << "target database " << where << "\n";
    if (mode == Mode::OnlyRun) {
        const RunResult r = ConvertOnce(folder, database, false);
        std::cout << "direct-mode run: " << Fixed(r.seconds, 3) << " s, reports " << r.reports << "\n";
        RemoveDatabase(database);
        return r.reports == 0 ? 0 : 1;
    }
    if (mode == Mode::OnlyLoop) {
        std::cout << "bare loop: " << Fixed(BareLoop(statements, database), 3) << " s\n";
        RemoveDatabase(database);
        return 0;
    }

    // 0: the run, 1: the bare loop in one transaction, 2: the run committing each statement.
    std::vector<double> seconds[3], toLoop, speedUp;
    for (int i = 0; i < repeat; ++i) {
        double took[3] = {0, 0, 0};
        for (int k = 0; k < 3; ++k) {
            const int which = (i + k) % 3;
            RemoveDatabase(database);
            if (which == 1) {
                took[1] = BareLoop(statements, database);
            } else {
                const RunResult r = which == 0 ? ConvertOnce(folder, database, false)
                                               : ConvertOnce(oldWayFolder, database, false, nullptr, false);
                if (r.reports != 0) {
                    std::cerr << "the run reported " << r.reports << " messages, first: " << r.firstReport << "\n";
                    RemoveDatabase(database);
                    return 1;
                }
                took[which] = r.seconds;
            }
            const long long rows = RowCount(database, kTableName);
            const int expected = which == 2 ? oldWayRecords : records;
            if (rows != expected) {
                std::cerr << "the target holds " << rows << " rows, not " << expected << "\n";
                RemoveDatabase(database);
                return 1;
            }
        }
        for (int k = 0; k < 3; ++k)
            seconds[k].push_back(took[k]);
        toLoop.push_back(took[0] / took[1]);
        // Records per second of the run over those of the old way.
        speedUp.push_back((took[2] / oldWayRecords) / (took[0] / records));
        std::cout << "repetition " << i + 1 << ": run " << Fixed(took[0], 3) << " s, bare loop in one transaction "
                  << Fixed(took[1], 3) << " s, run committing each statement " << Fixed(took[2], 3) << " s\n";
    }
    RemoveDatabase(database);

    const double ratio = Median(toLoop);
    const std::string label = std::to_string(records / 1000) + "k records " + where;
    Figure("direct-mode run, " + label + " (median of " + std::to_string(repeat) + ")",
           Fixed(Median(seconds[0]), 3) + " s", "", "");
    Figure("bare execute loop in one transaction, same statements (median)", Fixed(Median(seconds[1]), 3) + " s", "",
           "");
    Figure("run committing each statement, the old way, " + std::to_string(oldWayRecords / 1000)
               + "k records (median)",
           Fixed(Median(seconds[2]), 3) + " s", "", "");
    Figure("run / bare loop in one transaction (median of ratios)", Fixed(ratio, 3), "<= 1.3",
           ratio <= 1.3 ? "ok" : "MISSED");
    Figure("old way / run: speed-up (median of ratios)", Fixed(Median(speedUp), 1) + "x", "", "");
    return 0;
}
