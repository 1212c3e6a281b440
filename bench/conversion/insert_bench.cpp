// INSERT statements per second for a 10-field record of mixed types, built
// into the reused buffer as the conversion run builds them.
#include "conversion/sql_text.h"

#include "platform/time_sliced_event_loop.h"

#include <benchmark/benchmark.h>

using namespace conversion;
using paradox::Value;

namespace {

void BM_InsertStatement(benchmark::State& state)
{
    TableScript script;
    script.start("CUSTOMERS");
    const std::pair<const char*, std::int16_t> fields[] = {
        {"ID", 3},      {"NAME", 202},  {"CITY", 202},  {"BALANCE", 5},  {"CREATED", 133},
        {"ACTIVE", 11}, {"NOTE", 202},  {"QTY", 2},     {"CHANGED", 135}, {"PRICE", 5}};
    for (int i = 0; i < 10; ++i)
        script.addField(i, fields[i].first, fields[i].second, nullptr);
    script.finishCreate();

    const Value values[] = {
        Value::ofInteger(123456),
        Value::ofText("O'Brien & Sons Ltd."),
        Value::ofText("Kapaa Kauai"),
        Value::ofDouble(12345.67),
        Value::ofDate({2021, 8, 31}),
        Value::ofBoolean(true),
        Value::null(),
        Value::ofInteger(-42),
        Value::ofTimestamp({1999, 12, 31}, 45'296'000),
        Value::ofDouble(0.1),
    };
    RegionalSettings settings;
    // The run's own yield, with an empty event loop behind it.
    int turns = 0;
    platform::TimeSlicedEventLoop events([&turns] { benchmark::DoNotOptimize(++turns); });
    InsertBuilder builder(script, settings, events);
    std::size_t bytes = 0;
    for (auto _ : state) {
        builder.begin();
        for (int f = 0; f < 10; ++f)
            builder.add(f, values[f]);
        const std::string& statement = builder.finish();
        bytes += statement.size();
        benchmark::DoNotOptimize(statement.data());
    }
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
}
BENCHMARK(BM_InsertStatement);

}  // namespace

BENCHMARK_MAIN();
