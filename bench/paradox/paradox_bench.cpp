// Records per second reading a 1,000,000-record table of ten mixed fields
// with every value decoded.
#include "bench/paradox/bench_table.h"
#include "paradox/table.h"

#include <benchmark/benchmark.h>

#include <unistd.h>

namespace {

const std::filesystem::path& benchTable()
{
    static const std::filesystem::path path = [] {
        const auto dir = std::filesystem::temp_directory_path() / ("dovenmark-bench-" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir);
        const auto db = dir / "bench.db";
        benchtable::write(db);
        return db;
    }();
    return path;
}

void readEveryValue(benchmark::State& state)
{
    const auto& path = benchTable();
    std::int64_t records = 0;
    for (auto _ : state) {
        auto table = paradox::Table::open(path);
        while (table->next()) {
            for (std::size_t i = 0; i < table->fieldCount(); ++i)
                benchmark::DoNotOptimize(table->value(i));
            ++records;
        }
    }
    state.SetItemsProcessed(records);
    state.counters["records/s"] = benchmark::Counter(static_cast<double>(records), benchmark::Counter::kIsRate);
}
BENCHMARK(readEveryValue)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    std::error_code ec;
    std::filesystem::remove_all(benchTable().parent_path(), ec);
    return 0;
}
