// Cost of a measurement and of what it produces: one full range calculation
// (nine intersections and the formatting), ranvista-cli measure --batch
// end to end with its peak memory, and the transform of a 1,000,000-vertex file.
#include "registration/Registration.h"
#include "registration/VertexFile.h"
#include "stereo/RangeCalc.h"
#include "tests/support/ReferenceModels.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sys/resource.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

const char* const kLeft = "/data/1N128287142EFF0300P1800L0M1.IMG";
const char* const kRight = "/data/1N128287142EFF0300P1800R0M1.IMG";

// A scratch folder for the benchmark files, removed at exit.
struct ScratchDir {
    fs::path path =
        fs::temp_directory_path() / ("ranvista-bench-calc-" + std::to_string(::getpid()));
    ScratchDir() { fs::create_directories(path); }
    ~ScratchDir() {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
};

const fs::path& BenchDir() {
    static const ScratchDir dir;
    return dir.path;
}

void BM_CalculateRange(benchmark::State& state) {
    RangeCalcInput in;
    if (state.range(0) != 0) {
        in.leftPose = CameraPose{};
        in.rightPose = CameraPose{};
    }
    in.nCamLeft = 0;
    in.nCamRight = 1;
    in.sLeftFile = kLeft;
    in.sRightFile = kRight;
    in.dLeftCol = 512;
    in.dLeftRow = 700;
    in.dRightCol = 480;
    in.dRightRow = 700;
    for (auto _ : state) {
        RangeCalcResult r = CalculateRange(in);
        benchmark::DoNotOptimize(r);
        in.ptLastPos = r.ptNewLastPos;
        in.dLeftCol = in.dLeftCol < 600 ? in.dLeftCol + 1 : 512;
    }
}
BENCHMARK(BM_CalculateRange)->Arg(0)->Arg(1)->ArgName("records");

// The same calculation with the Mars 2020 Navcam's CAHVORE model (fisheye
// MTYPE 2) on both sides, the right camera 42 cm to the right.
void BM_CalculateRangeCahvore(benchmark::State& state) {
    ProductCamera left;
    left.model = reference_models::M20Navcam();
    left.source = "raw-json";
    left.frame = "ROVER_NAV_FRAME";
    left.frameIndex = {32, 604};
    ProductCamera right = left;
    right.model.c = right.model.c + CPoint3D(0.0, 0.424, 0.0);
    RangeCalcInput in;
    in.leftProduct = left;
    in.rightProduct = right;
    in.sLeftFile = kLeft;
    in.sRightFile = kRight;
    in.dLeftCol = 2600;
    in.dLeftRow = 2200;
    in.dRightCol = 2450;
    in.dRightRow = 2200;
    if (!CalculateRange(in).bOk) {
        state.SkipWithError("the rays do not meet");
        return;
    }
    for (auto _ : state) {
        RangeCalcResult r = CalculateRange(in);
        benchmark::DoNotOptimize(r);
        in.dLeftCol = in.dLeftCol < 2700 ? in.dLeftCol + 1 : 2600;
    }
}
BENCHMARK(BM_CalculateRangeCahvore);

// ranvista-cli measure --batch of range(0) lines, saving the log and the
// vertices, and the session too when range(1) is 1. Peak memory of the
// command (MB) is the counter peak_mb: it should not grow with the lines.
// Run in increasing sizes: the peak is the largest child's so far.
void BM_MeasureBatch(benchmark::State& state) {
    const long lines = state.range(0);
    const bool session = state.range(1) == 1;
    const fs::path batch = BenchDir() / ("batch" + std::to_string(lines) + ".txt");
    {
        std::ofstream f(batch);
        std::mt19937 rng(1);
        std::uniform_real_distribution<double> x(400, 600);
        std::uniform_real_distribution<double> y(500, 900);
        std::uniform_real_distribution<double> disparity(10, 120);
        for (long i = 0; i < lines; ++i) {
            const double xl = x(rng);
            const double yl = y(rng);
            f << kLeft << ',' << kRight << ',' << xl << ',' << yl << ',' << xl - disparity(rng)
              << ',' << yl << '\n';
        }
    }
    const std::string cmd =
        std::string("'") + RANVISTA_CLI + "' measure --batch '" + batch.string() +
        "' --db /nonexistent/ImgBinDat --log '" + (BenchDir() / "log.txt").string() +
        "' --vertices '" + (BenchDir() / "v.txt").string() + "'" +
        (session ? " --session '" + (BenchDir() / "s.rvsession").string() + "'" : "") +
        " > /dev/null";
    for (auto _ : state) {
        if (std::system(cmd.c_str()) != 0) {
            state.SkipWithError("measure --batch failed");
            break;
        }
    }
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    state.counters["peak_mb"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
    state.counters["lines"] = static_cast<double>(lines);
}
BENCHMARK(BM_MeasureBatch)
    ->Args({1000, 0})
    ->Args({100000, 0})
    ->Args({100000, 1})
    ->Args({1000000, 0})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1);

void BM_Transform1M(benchmark::State& state) {
    const fs::path src = BenchDir() / "cloud.txt";
    const fs::path ref = BenchDir() / "ref.txt";
    {
        std::mt19937 rng(2);
        std::uniform_real_distribution<double> d(-140, 140);
        std::string text;
        text.reserve(40u * 1000000u);
        for (int i = 0; i < 1000000; ++i) {
            AppendVertexLine(text, {d(rng), d(rng), d(rng) * 0.1});
        }
        std::ofstream(src, std::ios::binary) << text;
        std::string r;
        AppendVertexLine(r, {1, 2, 3});
        AppendVertexLine(r, {-4, 5, 0});
        AppendVertexLine(r, {0, -6, 1});
        std::ofstream(ref, std::ios::binary) << r;
    }
    for (auto _ : state) {
        const TransformResult r =
            TransformVertexFile(src.string(), ref.string(), {0, 1, 2}, {0, 1, 2});
        if (r.nVertices != 1000000) {
            state.SkipWithError("transform failed");
            break;
        }
    }
}
BENCHMARK(BM_Transform1M)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

} // namespace
