// The block memory manager against the C library's allocator, in the same
// run: string churn with many live strings, churn over a long block chain,
// and growing one buffer a byte at a time.  After the runs the time of each
// manager case is printed as a ratio to its C library twin.
#include "MemMgr.h"
#include "utils.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace {

// A fixed script of churn steps: which live string goes and how long its
// replacement is, the same for every allocator.
struct Churn {
    std::vector<size_t> victim;
    std::vector<int> length;
    std::vector<int> initial;
    std::string text;  // source of string contents: 120 letters
};

const Churn& Script(size_t live)
{
    static std::map<size_t, Churn> scripts;
    Churn& c = scripts[live];
    if (c.victim.empty()) {
        std::mt19937 rng(static_cast<unsigned>(live));
        std::uniform_int_distribution<int> len(8, 120);
        std::uniform_int_distribution<size_t> pick(0, live - 1);
        for (size_t i = 0; i < live; ++i)
            c.initial.push_back(len(rng));
        for (int i = 0; i < (1 << 20); ++i) {
            c.victim.push_back(pick(rng));
            c.length.push_back(len(rng));
        }
        for (int i = 0; i < 120; ++i)
            c.text.push_back(static_cast<char>('a' + i % 26));
    }
    return c;
}

// Raw allocation of n bytes filled with n bytes of text.
struct MemMgrRaw {
    static char* Make(const char* text, int n)
    {
        auto* p = static_cast<char*>(GetMem(n));
        std::memcpy(p, text, static_cast<size_t>(n));
        return p;
    }
    static void Drop(char* p) { PutMem(p); }
};

struct LibcRaw {
    static char* Make(const char* text, int n)
    {
        auto* p = static_cast<char*>(std::malloc(static_cast<size_t>(n)));
        std::memcpy(p, text, static_cast<size_t>(n));
        return p;
    }
    static void Drop(char* p) { std::free(p); }
};

// Saved strings: a NUL-terminated copy.  The source strings are cut from a
// buffer of terminated strings of every length 8 to 120.
const char* Terminated(int n)
{
    static std::vector<std::string> strings = [] {
        std::vector<std::string> s(121);
        for (int i = 0; i <= 120; ++i)
            for (int k = 0; k < i; ++k)
                s[static_cast<size_t>(i)].push_back(static_cast<char>('A' + k % 26));
        return s;
    }();
    return strings[static_cast<size_t>(n)].c_str();
}

struct MemMgrSaved {
    static char* Make(const char*, int n) { return SaveStr_(Terminated(n)); }
    static void Drop(char* p) { PutMem(p); }
};

struct LibcSaved {
    static char* Make(const char*, int n) { return strdup(Terminated(n)); }
    static void Drop(char* p) { std::free(p); }
};

// One iteration frees one live string and makes a new one in its place.
template <typename A>
void StringChurn(benchmark::State& state)
{
    size_t live = static_cast<size_t>(state.range(0));
    const Churn& c = Script(live);
    std::vector<char*> slots(live);
    for (size_t i = 0; i < live; ++i)
        slots[i] = A::Make(c.text.data(), c.initial[i]);
    size_t step = 0;
    for (auto _ : state) {
        size_t k = c.victim[step];
        A::Drop(slots[k]);
        slots[k] = A::Make(c.text.data(), c.length[step]);
        benchmark::DoNotOptimize(slots[k]);
        if (++step == c.victim.size())
            step = 0;
    }
    for (char* p : slots)
        A::Drop(p);
}

// One iteration grows a buffer from 1 byte to 64 KiB a byte at a time,
// writing each new byte, and frees it.
void GrowAdjustMem(benchmark::State& state)
{
    for (auto _ : state) {
        char* p = static_cast<char*>(GetMem(1));
        for (int n = 2; n <= 65536; ++n) {
            p = static_cast<char*>(AdjustMem(p, n));
            p[n - 1] = 'x';
        }
        benchmark::DoNotOptimize(p);
        PutMem(p);
    }
}

void GrowRealloc(benchmark::State& state)
{
    for (auto _ : state) {
        char* p = static_cast<char*>(std::malloc(1));
        for (int n = 2; n <= 65536; ++n) {
            p = static_cast<char*>(std::realloc(p, static_cast<size_t>(n)));
            p[n - 1] = 'x';
        }
        benchmark::DoNotOptimize(p);
        std::free(p);
    }
}

BENCHMARK(StringChurn<MemMgrRaw>)->Name("a_churn_10k/GetMem")->Arg(10000);
BENCHMARK(StringChurn<LibcRaw>)->Name("a_churn_10k/malloc")->Arg(10000);
BENCHMARK(StringChurn<MemMgrSaved>)->Name("a_churn_10k/SaveStr_")->Arg(10000);
BENCHMARK(StringChurn<LibcSaved>)->Name("a_churn_10k/strdup")->Arg(10000);
BENCHMARK(StringChurn<MemMgrRaw>)->Name("b_churn_200k/GetMem")->Arg(200000);
BENCHMARK(StringChurn<LibcRaw>)->Name("b_churn_200k/malloc")->Arg(200000);
BENCHMARK(StringChurn<MemMgrSaved>)->Name("b_churn_200k/SaveStr_")->Arg(200000);
BENCHMARK(StringChurn<LibcSaved>)->Name("b_churn_200k/strdup")->Arg(200000);
BENCHMARK(GrowAdjustMem)->Name("c_grow_64k/AdjustMem")->Unit(benchmark::kMicrosecond);
BENCHMARK(GrowRealloc)->Name("c_grow_64k/realloc")->Unit(benchmark::kMicrosecond);

// Collects the processor time per iteration of every case (steadier than
// wall time on a busy machine) while printing as usual; with repetitions,
// the median of each case.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& r : runs) {
            if (r.run_type == Run::RT_Iteration && r.iterations > 0 && !medians.count(r.run_name.str()))
                times[r.run_name.str()] = r.GetAdjustedCPUTime();
            if (r.run_type == Run::RT_Aggregate && r.aggregate_name == "median") {
                medians.insert(r.run_name.str());
                times[r.run_name.str()] = r.GetAdjustedCPUTime();
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> times;
    std::set<std::string> medians;
};

// The case name with the argument that the library appends ("name/10000").
double Find(const std::map<std::string, double>& times, const std::string& prefix)
{
    for (const auto& [name, t] : times)
        if (name.rfind(prefix, 0) == 0)
            return t;
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    struct Pair {
        const char* ours;
        const char* theirs;
        double target;
    };
    const Pair pairs[] = {
        {"a_churn_10k/GetMem", "a_churn_10k/malloc", 2},
        {"a_churn_10k/SaveStr_", "a_churn_10k/strdup", 2},
        {"b_churn_200k/GetMem", "b_churn_200k/malloc", 4},
        {"b_churn_200k/SaveStr_", "b_churn_200k/strdup", 4},
        {"c_grow_64k/AdjustMem", "c_grow_64k/realloc", 2},
    };
    std::printf("\nProcessor time ratios to the C library (target in brackets):\n");
    for (const Pair& p : pairs) {
        double ours = Find(reporter.times, p.ours);
        double theirs = Find(reporter.times, p.theirs);
        if (ours > 0 && theirs > 0)
            std::printf("  %-24s %6.2f  (<= %.0f) %s\n", p.ours, ours / theirs, p.target,
                        ours / theirs <= p.target ? "met" : "MISSED");
    }
    return 0;
}
