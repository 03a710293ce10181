// Record lookups of random keys in databases of 1,000 and 10,000 records
// (16-byte keys, 100-byte data): DbmTGetRecord on an open handle, and
// DbmGetRecord, which reads the file on every call, against reading the
// whole file with fread once per lookup.
#include "Dbm.h"
#include "MemMgr.h"
#include "utils.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr int kDataSize = 100;

std::string Key(int i)
{
    char key[17];
    snprintf(key, sizeof key, "key-%012d", i);
    return key;
}

// prefix and number; appended rather than added, which g++ 12 misreads
// as an overlapping copy.
std::string Name(const char* prefix, int records)
{
    std::string name = prefix;
    name += std::to_string(records);
    return name;
}

std::string Data(int i)
{
    std::string data(kDataSize, '\0');
    for (int j = 0; j < kDataSize; ++j)
        data[j] = static_cast<char>((i * 31 + j) & 0xff);
    return data;
}

// A scratch tool directory holding, per record count, a tagged database
// "t<n>" and a keyed record file "k<n>"; removed at exit.
struct Databases {
    std::string dir;

    Databases()
    {
        std::string pattern = (fs::temp_directory_path() / "dbm_bench.XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            abort();
        dir = pattern;
        fs::create_directory(dir + "/db");
        pToolPath = SaveStr_(dir.c_str());
        // DbmPutRecord and the write-back look for ./db.
        if (chdir(dir.c_str()) != 0)
            abort();
    }
    ~Databases() { fs::remove_all(dir); }

    void Make(int records)
    {
        if (made[records])
            return;
        made[records] = true;
        const std::string tagged = Name("t", records);
        DbTHandle* h = DbTOpen(tagged.c_str(), DBT_NO_ARCHIVE);
        for (int i = 0; i < records; ++i) {
            const std::string data = Data(i);
            DbmTPutRecord(h, Key(i).c_str(), data.data(), kDataSize);
        }
        if (!DbmTArchiveDb(h))
            abort();
        DbTClose(h);

        FILE* keyed = fopen((dir + "/db/" + Name("k", records) + ".qdb").c_str(), "wb");
        for (int i = 0; i < records; ++i) {
            const std::string key = Key(i);
            const std::string data = Data(i);
            unsigned char rec[DBM_RECORD_BUF];
            const uint16_t keyLen = static_cast<uint16_t>(key.size() + 1);
            const uint16_t recLen = static_cast<uint16_t>(2 + keyLen + kDataSize);
            memcpy(rec, &recLen, 2);
            memcpy(rec + 2, &keyLen, 2);
            memcpy(rec + 4, key.c_str(), keyLen);
            memcpy(rec + 4 + keyLen, data.data(), kDataSize);
            PutData(keyed, rec);
        }
        fclose(keyed);
    }

    std::string TaggedFile(int records) const
    {
        return dir + "/db/" + Name("t", records) + ".qdb";
    }

    std::map<int, bool> made;
};

Databases& Dbs()
{
    static Databases dbs;
    return dbs;
}

std::vector<std::string> RandomKeys(int records)
{
    std::mt19937 random(7);
    std::vector<std::string> keys(4096);
    for (auto& key : keys)
        key = Key(static_cast<int>(random() % records));
    return keys;
}

void BM_DbmTGetRecord(benchmark::State& state)
{
    const int records = static_cast<int>(state.range(0));
    Dbs().Make(records);
    const auto keys = RandomKeys(records);
    DbTHandle* h = DbTOpen(Name("t", records).c_str(), 0);
    char data[kDataSize];
    size_t i = 0;
    for (auto _ : state) {
        if (DbmTGetRecord(h, keys[i++ % keys.size()].c_str(), data) != kDataSize)
            state.SkipWithError("record not found");
        benchmark::DoNotOptimize(data);
    }
    DbTClose(h);
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}
BENCHMARK(BM_DbmTGetRecord)->Arg(1000)->Arg(10000);

void BM_DbmGetRecord(benchmark::State& state)
{
    const int records = static_cast<int>(state.range(0));
    Dbs().Make(records);
    const auto keys = RandomKeys(records);
    const std::string name = Name("k", records);
    char data[kDataSize];
    size_t i = 0;
    for (auto _ : state) {
        if (DbmGetRecord(name.c_str(), keys[i++ % keys.size()].c_str(), data) != kDataSize)
            state.SkipWithError("record not found");
        benchmark::DoNotOptimize(data);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}
BENCHMARK(BM_DbmGetRecord)->Arg(1000)->Arg(10000);

// The plain alternative: the whole file read into memory for each lookup.
void BM_FreadWholeFile(benchmark::State& state)
{
    const int records = static_cast<int>(state.range(0));
    Dbs().Make(records);
    const std::string path = Dbs().TaggedFile(records);
    std::vector<char> buffer(fs::file_size(path));
    for (auto _ : state) {
        FILE* file = fopen(path.c_str(), "rb");
        if (!file || fread(buffer.data(), 1, buffer.size(), file) != buffer.size())
            state.SkipWithError("read failed");
        if (file)
            fclose(file);
        benchmark::DoNotOptimize(buffer.data());
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}
BENCHMARK(BM_FreadWholeFile)->Arg(1000)->Arg(10000);

class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            const auto it = run.counters.find("items_per_second");
            if (it != run.counters.end())
                perSecond[run.benchmark_name()] = it->second.value;
        }
    }
    std::map<std::string, double> perSecond;
};

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    for (int records : {1000, 10000}) {
        const double baseline = reporter.perSecond[Name("BM_FreadWholeFile/", records)];
        if (baseline <= 0)
            continue;
        for (const char* name : {"BM_DbmTGetRecord/", "BM_DbmGetRecord/"}) {
            const double rate = reporter.perSecond[Name(name, records)];
            if (rate > 0)
                std::printf("%-16.*s %6d records: %10.0f lookups/s, fread baseline %8.0f/s, ratio %6.2f\n",
                            static_cast<int>(strlen(name)) - 4, name + 3, records, rate, baseline, rate / baseline);
        }
    }
    return 0;
}
