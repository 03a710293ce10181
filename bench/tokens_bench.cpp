// GetToken over a 1 MiB text against strtok_r on a copy of it.
#include "utils.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <string>

namespace {

const char* const kDelims = " \t\n";

// Words of 1 to 12 letters, mostly blank-separated, with line ends and the
// odd run of blanks, like command output and settings files.
const std::string& Text()
{
    static const std::string text = [] {
        std::mt19937 random(42);
        std::string s;
        while (s.size() < (1u << 20)) {
            const int length = 1 + static_cast<int>(random() % 12);
            for (int i = 0; i < length; ++i)
                s += static_cast<char>('a' + random() % 26);
            const unsigned pick = random() % 16;
            s += pick == 0 ? "\n" : pick == 1 ? "  \t" : " ";
        }
        s.resize(1u << 20);
        return s;
    }();
    return text;
}

void BM_GetToken(benchmark::State& state)
{
    const std::string& text = Text();
    for (auto _ : state) {
        std::size_t count = 0;
        for (char* t = GetToken(text.c_str(), kDelims); t; t = GetToken(nullptr, kDelims))
            ++count;
        benchmark::DoNotOptimize(count);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_GetToken);

void BM_strtok_r(benchmark::State& state)
{
    const std::string& text = Text();
    std::string copy;
    for (auto _ : state) {
        state.PauseTiming();
        copy = text;
        state.ResumeTiming();
        std::size_t count = 0;
        char* save = nullptr;
        for (char* t = strtok_r(copy.data(), kDelims, &save); t; t = strtok_r(nullptr, kDelims, &save))
            ++count;
        benchmark::DoNotOptimize(count);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_strtok_r);

// Console output as usual, keeping each benchmark's throughput for the ratio.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            const auto it = run.counters.find("bytes_per_second");
            if (it != run.counters.end())
                bytesPerSecond[run.benchmark_name()] = it->second.value;
        }
    }
    std::map<std::string, double> bytesPerSecond;
};

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const double ours = reporter.bytesPerSecond["BM_GetToken"];
    const double theirs = reporter.bytesPerSecond["BM_strtok_r"];
    if (ours > 0 && theirs > 0)
        std::printf("GetToken %.0f MB/s, strtok_r %.0f MB/s, ratio %.2f\n", ours / 1e6,
                    theirs / 1e6, ours / theirs);
    return 0;
}
