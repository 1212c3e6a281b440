// The send's inner loops: a call's statements turned from UTF-8 into the
// UTF-16LE of the wire (the program's converter against the C library's
// iconv, which FreeTDS would use otherwise), and one call handed to the wait
// watch's thread while the window's thread turns its events.
#include "platform/odbc/utf16le_iconv.h"
#include "platform/odbc/wait_watch.h"

#include <benchmark/benchmark.h>
#include <iconv.h>

#include <string>

namespace {

// About 1,000 statements of the million-record benchmark table: one call.
std::string CallText()
{
    std::string text;
    for (int i = 0; i < 1000; ++i)
        text += "INSERT INTO [BENCH] VALUES(" + std::to_string(i)
                + ", 'Customer 1', 'Zürich', '07/17/1917', -499, 7, 0.14285714285714285, '0.01', 'False', "
                  "'09/05/1999 00:00:00')\n";
    return text;
}

void Convert(benchmark::State& state, bool glibc)
{
    const std::string text = CallText();
    std::string out(2 * text.size(), '\0');
    const iconv_t cd = iconv_open("UTF-16LE", "UTF-8");
    for (auto _ : state) {
        const char* in = text.data();
        char* to = out.data();
        std::size_t inLeft = text.size();
        std::size_t outLeft = out.size();
        if (glibc) {
            char* from = const_cast<char*>(in);
            iconv(cd, &from, &inLeft, &to, &outLeft);
        } else {
            platform::odbc::Utf8ToUtf16le(in, inLeft, to, outLeft);
        }
        benchmark::DoNotOptimize(out.data());
    }
    iconv_close(cd);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

void BM_CallToUtf16le_Ours(benchmark::State& state)
{
    Convert(state, false);
}
void BM_CallToUtf16le_Glibc(benchmark::State& state)
{
    Convert(state, true);
}
BENCHMARK(BM_CallToUtf16le_Ours);
BENCHMARK(BM_CallToUtf16le_Glibc);

// What handing one call to the watch's thread costs (the window's way of
// waiting for SQL Server): paid once per call, not once per statement.
void BM_PumpedCall(benchmark::State& state)
{
    platform::odbc::WaitWatch watch([](std::chrono::seconds) {}, [] {});
    int calls = 0;
    for (auto _ : state)
        watch.run([&calls] { benchmark::DoNotOptimize(++calls); });
}
BENCHMARK(BM_PumpedCall);

}  // namespace

BENCHMARK_MAIN();
