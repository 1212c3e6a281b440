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
#include "bench/support/bench_support.h"

#include <cstring>
#include <iostream>
#include <optional>
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
    HeadlessRun h(folder, database, preview, transactions);
    const auto start = Clock::now();
    conversion::StartConverting(h.run);
    RunResult result{SecondsSince(start), h.dialogs.others(), h.dialogs.firstOther()};
    if (h.dialogs.messages.empty() || h.dialogs.messages.back().text != "Done.") {
        ++result.reports;
        if (result.firstReport.empty())
            result.firstReport = "the run did not end with \"Done.\"";
    }
    if (statements) {
        auto& list = h.handOff.preview.list();
        statements->clear();
        statements->reserve(static_cast<std::size_t>(list.count()));
        for (int r = 1; r <= list.count(); ++r)
            statements->emplace_back(list.text(r));
    }
    return result;
}

}  // namespace

int main(int argc, char** argv)
{
    int records = 100'000;
    int repeat = 5;
    fs::path target;
    int oldWayRecords = 0;
    enum class Mode { Compare, OnlyRun, OnlyLoop } mode = Mode::Compare;
    for (Arguments a(argc, argv); a.next();) {
        if (a.option("--records", records) || a.option("--repeat", repeat) || a.option("--target", target)
            || a.option("--old-way-records", oldWayRecords))
            continue;
        if (a.is("--only-run") || a.is("--only-loop")) {
            mode = a.is("--only-run") ? Mode::OnlyRun : Mode::OnlyLoop;
        } else if (a.is("--write-table") && a.ahead(2)) {
            WriteRunTable(a.ahead(1), std::atoi(a.ahead(2)));
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

    const Target where(scratch.path(), target, "dovenmark-bench-target");
    const fs::path& database = where.database;
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

    const ComparisonWords words{"direct-mode run", "run", "run committing each statement", "statements", "records"};
    const bool compared = CompareThreeWays(words, where, kTableName, records, oldWayRecords, repeat,
                                           [&](int way) -> std::optional<double> {
        if (way == 1)
            return BareLoop(statements, database);
        const RunResult r = way == 0 ? ConvertOnce(folder, database, false)
                                     : ConvertOnce(oldWayFolder, database, false, nullptr, false);
        if (r.reports != 0) {
            std::cerr << "the run reported " << r.reports << " messages, first: " << r.firstReport << "\n";
            return std::nullopt;
        }
        return r.seconds;
    });
    return compared ? 0 : 1;
}
