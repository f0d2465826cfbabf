// The image database at scale: 1,000,000 records with 27-character keys.
// Load and save of the store, Import and Initialize of a query file in
// random key order, one lookup. Each run reports the process's peak resident
// memory (VmHWM, reset before the run) as peak_MB.
#include "base/Format.h"
#include "imagedb/ImageDatabase.h"
#include "imagedb/QueryFile.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <malloc.h>
#include <random>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr size_t kRecords = 1000000;

// A MER-style product name: 27 characters, e.g. 2N130012345EFF0300P1800L0M1.
std::string ProductName(std::mt19937_64& rng) {
    const char* kinds[] = {"EFF", "ESF", "EDN", "ETH"};
    return StrFormat("%dN%09u%s%02u%02uP%04u%c%uM1", 1 + static_cast<int>(rng() % 2),
                     static_cast<unsigned>(126000000 + rng() % 300000000), kinds[rng() % 4],
                     static_cast<unsigned>(rng() % 100), static_cast<unsigned>(rng() % 100),
                     static_cast<unsigned>(rng() % 10000), rng() % 2 ? 'L' : 'R',
                     static_cast<unsigned>(rng() % 10));
}

double Angle(std::mt19937_64& rng) {
    return std::uniform_real_distribution<double>(-180.0, 180.0)(rng);
}

// Files made once per run and removed at exit.
struct Fixture {
    fs::path dir;
    std::string store;
    std::string query;
    std::vector<std::string> names; // a sample of the products, upper case

    Fixture() {
        dir = fs::temp_directory_path() / StrFormat("rv_imagedb_bench_%d", getpid());
        fs::create_directories(dir);
        store = (dir / "ImgBinDat").string();
        query = (dir / "query.txt").string();
        std::mt19937_64 rng(1);
        std::ofstream out(query, std::ios::binary);
        std::vector<std::string> lines;
        for (size_t i = 0; i < kRecords; ++i) {
            const std::string name = ProductName(rng);
            if (i % 251 == 0) {
                names.push_back(name);
            }
            // Random key order: the generator gives no order at all.
            out << name << ".IMG::" << StrFormat("%.9f::%.9f", Angle(rng), Angle(rng) / 2)
                << "::1234::56::78::90::NAVCAM::site::"
                << StrFormat("%.12f::%.12f::%.12f::%.12f\n", 0.9, 0.1, -0.2, 0.3);
        }
        out.close();
        ImageDatabase db;
        db.SetStorePath(store);
        if (!InitializeQueryFiles(db, {query}).bSaved) {
            std::fprintf(stderr, "cannot build the benchmark store\n");
            std::exit(1);
        }
    }
    ~Fixture() {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
};

Fixture& Files() {
    static Fixture f;
    return f;
}

void ResetPeakMemory() {
    malloc_trim(0);
    std::ofstream("/proc/self/clear_refs") << "5";
}

double PeakMegabytes() {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("VmHWM:", 0) == 0) {
            return std::strtod(line.c_str() + 6, nullptr) / 1024.0;
        }
    }
    return 0.0;
}

// The benchmark store, loaded.
ImageDatabase LoadedTable(const Fixture& f) {
    ImageDatabase db;
    db.SetStorePath(f.store);
    db.LoadStore();
    return db;
}

void BM_LoadStore(benchmark::State& state) {
    const Fixture& f = Files();
    ResetPeakMemory();
    for (auto _ : state) {
        ImageDatabase db;
        db.SetStorePath(f.store);
        db.LoadStore();
        benchmark::DoNotOptimize(db.Count());
        state.PauseTiming();
        db = ImageDatabase();
        state.ResumeTiming();
    }
    state.counters["peak_MB"] = PeakMegabytes();
}
BENCHMARK(BM_LoadStore)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_SaveStore(benchmark::State& state) {
    const Fixture& f = Files();
    ImageDatabase db = LoadedTable(f);
    db.SetStorePath((f.dir / "saved").string());
    ResetPeakMemory();
    for (auto _ : state) {
        benchmark::DoNotOptimize(db.SaveStore());
    }
    state.counters["peak_MB"] = PeakMegabytes();
}
BENCHMARK(BM_SaveStore)->Unit(benchmark::kMillisecond)->Iterations(5);

// Import into an empty table, and Initialize, each followed by the save they
// end with.
template <bool kInitialize> void BM_QueryFile(benchmark::State& state) {
    const Fixture& f = Files();
    ResetPeakMemory();
    for (auto _ : state) {
        ImageDatabase db;
        db.SetStorePath((f.dir / "imported").string());
        const auto outcome =
            kInitialize ? InitializeQueryFiles(db, {f.query}) : ImportQueryFiles(db, {f.query});
        benchmark::DoNotOptimize(outcome.bSaved);
        state.PauseTiming();
        db = ImageDatabase();
        state.ResumeTiming();
    }
    state.counters["peak_MB"] = PeakMegabytes();
}
BENCHMARK(BM_QueryFile<false>)->Name("BM_Import")->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_QueryFile<true>)->Name("BM_Initialize")->Unit(benchmark::kMillisecond)->Iterations(3);

// Reading the query file alone, without merging or saving.
void BM_ReadQueryFile(benchmark::State& state) {
    const Fixture& f = Files();
    for (auto _ : state) {
        benchmark::DoNotOptimize(ReadQueryFile(f.query).records.size());
    }
}
BENCHMARK(BM_ReadQueryFile)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_FindRecord(benchmark::State& state) {
    const Fixture& f = Files();
    const ImageDatabase db = LoadedTable(f);
    std::vector<std::string> names = f.names;
    std::shuffle(names.begin(), names.end(), std::mt19937_64(2));
    size_t i = 0;
    benchmark::IterationCount found = 0;
    for (auto _ : state) {
        found += db.FindRecord(names[i]) != nullptr;
        i = i + 1 < names.size() ? i + 1 : 0;
    }
    if (found != state.iterations()) {
        state.SkipWithError("a product was not found");
    }
    state.counters["peak_MB"] = PeakMegabytes();
}
BENCHMARK(BM_FindRecord)->Unit(benchmark::kNanosecond);

} // namespace
