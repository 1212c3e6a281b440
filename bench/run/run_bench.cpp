// The conversion run in direct mode against a bare loop of the same statements.
//
// A table of ten mixed fields is written to a scratch folder; the run converts
// it through the real Paradox source connection and the real ODBC server
// connection into an SQLite file standing in for SQL Server; the bare loop
// executes the very statements the run sends (collected beforehand by a
// preview-mode run, outside the timed part) through the same driver, one
// OdbcServerConnection::execute each. Both are repeated, in alternating order,
// and the medians compared.
//
//   bench_run [--records N] [--repeat R]     the comparison
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
                      std::vector<std::string>* statements = nullptr)
{
    cli::HeadlessForm form(std::cerr);
    form.quiet = true;
    form.folderText = folder.string();
    form.preview = preview;
    form.eachFile = preview;
    RecordingDialogs dialogs;
    platform::NoEventLoop events;
    platform::OdbcServerConnectionFactory servers;
    platform::ParadoxSourceConnectionFactory sourceConnections;
    cli::NoDesktop desktop;
    cli::CommandLineSettings settings;
    conversion::PreviewHandOff handOff;
    bool converting = false;
    sources::Context ctx{form, dialogs, events, {"", "/"}, servers, sourceConnections, desktop, settings};
    ctx.serverConnectionText = PrivateOdbc::ConnectionText(database);
    conversion::Run run{ctx, handOff, {}, converting, {/*offerCopy=*/false}};

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

// The same statements, one execute each, on one connection opened the run's way.
double BareLoop(const std::vector<std::string>& statements, const fs::path& database)
{
    const auto start = Clock::now();
    platform::OdbcServerConnection connection;
    connection.setCursorLocation(platform::ServerConnection::kServerSideCursor);
    connection.setCommandTimeout(5000);
    connection.setConnectionTimeout(5000);
    connection.open(PrivateOdbc::ConnectionText(database));
    for (const std::string& s : statements)
        connection.execute(s);
    connection.close();
    return SecondsSince(start);
}

}  // namespace

int main(int argc, char** argv)
{
    int records = 100'000;
    int repeat = 5;
    enum class Mode { Compare, OnlyRun, OnlyLoop } mode = Mode::Compare;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--records" && i + 1 < argc) {
            records = std::atoi(argv[++i]);
        } else if (a == "--repeat" && i + 1 < argc) {
            repeat = std::atoi(argv[++i]);
        } else if (a == "--only-run") {
            mode = Mode::OnlyRun;
        } else if (a == "--only-loop") {
            mode = Mode::OnlyLoop;
        } else if (a == "--write-table" && i + 2 < argc) {
            WriteRunTable(argv[i + 1], std::atoi(argv[i + 2]));
            return 0;
        } else {
            std::cerr << "usage: bench_run [--records N] [--repeat R] [--only-run|--only-loop]\n"
                         "       bench_run --write-table FOLDER N\n";
            return 2;
        }
    }

    PrivateOdbc odbc;
    ScratchFolder scratch("dovenmark-bench-run");
    const fs::path folder = scratch.path() / "tables";
    WriteRunTable(folder, records);

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

    const fs::path database = scratch.path() / "target.sqlite";
    if (mode == Mode::OnlyRun) {
        const RunResult r = ConvertOnce(folder, database, false);
        std::cout << "direct-mode run: " << Fixed(r.seconds, 3) << " s, reports " << r.reports << "\n";
        return r.reports == 0 ? 0 : 1;
    }
    if (mode == Mode::OnlyLoop) {
        std::cout << "bare loop: " << Fixed(BareLoop(statements, database), 3) << " s\n";
        return 0;
    }

    std::vector<double> runs, loops, ratios;
    for (int i = 0; i < repeat; ++i) {
        double runSeconds = 0, loopSeconds = 0;
        for (int half = 0; half < 2; ++half) {
            RemoveDatabase(database);
            if ((half == 0) == (i % 2 == 0)) {
                const RunResult r = ConvertOnce(folder, database, false);
                if (r.reports != 0) {
                    std::cerr << "the run reported " << r.reports << " messages, first: " << r.firstReport << "\n";
                    return 1;
                }
                runSeconds = r.seconds;
            } else {
                loopSeconds = BareLoop(statements, database);
            }
            const long long rows = RowCount(database, kTableName);
            if (rows != records) {
                std::cerr << "the target holds " << rows << " rows, not " << records << "\n";
                return 1;
            }
        }
        runs.push_back(runSeconds);
        loops.push_back(loopSeconds);
        ratios.push_back(runSeconds / loopSeconds);
        std::cout << "repetition " << i + 1 << ": run " << Fixed(runSeconds, 3) << " s, bare loop "
                  << Fixed(loopSeconds, 3) << " s, ratio " << Fixed(runSeconds / loopSeconds, 3) << "\n";
    }
    RemoveDatabase(database);

    const double ratio = Median(ratios);
    const std::string label = std::to_string(records / 1000) + "k records";
    Figure("direct-mode run, " + label + " (median of " + std::to_string(repeat) + ")",
           Fixed(Median(runs), 3) + " s", "", "");
    Figure("bare execute loop, same statements (median)", Fixed(Median(loops), 3) + " s", "", "");
    Figure("run / bare loop (median of ratios)", Fixed(ratio, 3), "<= 1.15", ratio <= 1.15 ? "ok" : "MISSED");
    return 0;
}
