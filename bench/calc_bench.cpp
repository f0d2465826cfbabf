// Cost of a measurement and of what it produces: one full range calculation
// (nine intersections and the formatting), ranvista-cli measure --batch and
// export end to end with their peak memory, and the transform of a
// 1,000,000-vertex file.
#include "registration/Registration.h"
#include "registration/VertexFile.h"
#include "session/SessionFile.h"
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

// A session of n measurements over the Opportunity sample pair, as measure
// --batch --session writes it: full-precision numbers, a log entry each.
std::string BenchSession(long n) {
    const fs::path path = BenchDir() / ("export" + std::to_string(n) + ".rvsession");
    if (fs::exists(path)) {
        return path.string();
    }
    const std::string samples = std::string(RANVISTA_SOURCE_DIR) + "/samples/oppy-navcam/";
    SessionDocument header;
    header.leftImage = samples + "1N137057367EFF4000P1916L0M1.png";
    header.rightImage = samples + "1N137057367EFF4000P1916R0M1.png";
    header.database = std::string(RANVISTA_SOURCE_DIR) + "/samples/ImgBinDat";
    header.pixelSigmas = {0.5, 0.5};
    SessionFileWriter writer(path.string(), header);
    std::mt19937 rng(3);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    for (long i = 0; i < n; ++i) {
        MeasurementRecord r;
        r.index = static_cast<int>(i + 1);
        r.leftPixel = {300 + 400 * u(rng), 600 + 200 * u(rng)};
        r.rightPixel = {r.leftPixel.x - 10 - 100 * u(rng), r.leftPixel.y - 2 * u(rng)};
        r.leftSource = PixelSource::Clicked;
        r.rightSource = i % 3 == 0 ? PixelSource::Matched : PixelSource::Clicked;
        r.rangeM = 2 + 20 * u(rng);
        r.position = {r.rangeM * u(rng), r.rangeM * (u(rng) - 0.5), 1.5 * u(rng)};
        r.azimuthDeg = 360 * u(rng) - 180;
        r.elevationDeg = 40 * u(rng) - 30;
        r.rangeSpreadBelowM = 0.1 * u(rng);
        r.rangeSpreadAboveM = 0.1 * u(rng);
        r.vertex = {r.position, {0.01 * u(rng), 0.01 * u(rng), 0.01 * u(rng)}};
        PointUncertainty s;
        s.rangeSigmaM = 0.05 * u(rng);
        s.downRangeSigmaM = 0.05 * u(rng);
        s.crossRangeSigmaM = 0.01 * u(rng);
        s.verticalSigmaM = 0.01 * u(rng);
        for (auto& row : s.covarianceM2) {
            for (double& c : row) {
                c = 1e-4 * u(rng);
            }
        }
        r.uncertainty = s;
        r.pixelSigmas = {0.5, i % 3 == 0 ? 0.21 : 0.5};
        r.missDistanceM = 0.002 * u(rng);
        r.timeUtc = "2026-12-09T12:00:00Z";
        r.note = i % 10 == 0 ? "rock corner" : "";
        r.logEntry = "Range: " + std::to_string(r.rangeM) +
                     " m\nPosition: " + std::to_string(r.position.m_dX) + ", " +
                     std::to_string(r.position.m_dY) + ", " + std::to_string(r.position.m_dZ) +
                     "\nAzimuth " + std::to_string(r.azimuthDeg) + " Elevation " +
                     std::to_string(r.elevationDeg) + "\n";
        writer.Add(r);
    }
    std::string error;
    if (!writer.Commit(&error)) {
        std::fprintf(stderr, "cannot write the benchmark session: %s\n", error.c_str());
        std::exit(1);
    }
    return path.string();
}

// ranvista-cli export of a 100,000-measurement session as CSV (0), PLY (1)
// and JSON Lines (2), written to a file; peak_mb as for BM_MeasureBatch, and
// the command's own CPU time per run (user and system) as cpu_s.
double ChildrenCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    const auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) * 1e-6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

void BM_Export(benchmark::State& state) {
    static const char* const kFormats[] = {"csv", "ply", "jsonl"};
    const char* format = kFormats[state.range(0)];
    const std::string session = BenchSession(100000);
    const std::string cmd =
        std::string("'") + RANVISTA_CLI + "' export '" + session + "' --format " + format +
        " -o '" + (BenchDir() / (std::string("out.") + format)).string() + "' 2> /dev/null";
    const double cpuBefore = ChildrenCpuSeconds();
    for (auto _ : state) {
        if (std::system(cmd.c_str()) != 0) {
            state.SkipWithError("export failed");
            break;
        }
    }
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    state.counters["peak_mb"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
    state.counters["cpu_s"] =
        (ChildrenCpuSeconds() - cpuBefore) / static_cast<double>(state.iterations());
    state.SetLabel(format);
}
BENCHMARK(BM_Export)->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

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
