// Cost of the geometry core: one back-projection, one stereo intersection and
// the nine-intersection sweep a range calculation makes (Opportunity Navcam).
#include "geometry/CameraModel.h"
#include "geometry/StereoIntersection.h"

#include <benchmark/benchmark.h>

namespace {

// The one-pixel perturbations of the error sweep (left column, left row,
// right column, right row), in the order the range calculation runs them.
constexpr double kOffsets[8][4] = {{-1, 1, 0, 0}, {-1, 1, -1, 1}, {0, 0, -1, 1}, {0, 0, 0, 0},
                                   {1, 1, 0, 0},  {1, 1, 1, 1},   {0, 0, 1, 1},  {0, 0, 0, 0}};

void BM_PixelToRay(benchmark::State& state) {
    const CameraModel m(0);
    double x = 300.0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(m.PixelToRay(x, 700.0));
        x = x < 900.0 ? x + 1.0 : 300.0;
    }
}
BENCHMARK(BM_PixelToRay);

void BM_StereoIntersect(benchmark::State& state) {
    const CameraModel l(0);
    const CameraModel r(1);
    double range = 0.0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(StereoIntersect(l, r, false, 512, 700, 480, 700, 0, 0, range));
    }
}
BENCHMARK(BM_StereoIntersect);

// The eight one-pixel perturbations plus the main run.
void BM_NineIntersectionSweep(benchmark::State& state) {
    const CameraModel l(0);
    const CameraModel r(1);
    for (auto _ : state) {
        double range = 0.0;
        benchmark::DoNotOptimize(StereoIntersect(l, r, false, 512, 700, 480, 700, 0, 0, range));
        for (const auto& o : kOffsets) {
            benchmark::DoNotOptimize(StereoIntersect(l, r, false, 512 + o[0], 700 + o[1],
                                                     480 + o[2], 700 + o[3], 0, 0, range));
        }
    }
}
BENCHMARK(BM_NineIntersectionSweep);

// The same sweep through one intersector, which casts each distinct pixel's
// ray once (three per side), as the range calculation does.
void BM_NineIntersectionSweepShared(benchmark::State& state) {
    const CameraModel l(0);
    const CameraModel r(1);
    for (auto _ : state) {
        CStereoIntersector in(l, r, false, nullptr, 0, 0);
        double range = 0.0;
        benchmark::DoNotOptimize(in.Intersect(512, 700, 480, 700, range));
        for (const auto& o : kOffsets) {
            benchmark::DoNotOptimize(
                in.Intersect(512 + o[0], 700 + o[1], 480 + o[2], 700 + o[3], range));
        }
    }
}
BENCHMARK(BM_NineIntersectionSweepShared);

} // namespace
