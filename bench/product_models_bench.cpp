// Cost of the product camera models: pixel -> ray and point -> pixel for
// CAHV, CAHVOR (an Opportunity Navcam as a product) and CAHVORE (a
// Perseverance Navcam), and a nine-intersection sweep with CAHVORE rays.
#include "geometry/CahvorProjection.h"
#include "geometry/CameraModel.h"
#include "geometry/ProductModels.h"
#include "geometry/RayIntersection.h"
#include "geometry/StereoIntersection.h"
#include "tests/support/ReferenceModels.h"

#include <benchmark/benchmark.h>

namespace {

using reference_models::M20Navcam;

ModelParameters OppyNavLeft(ModelType type) {
    ModelParameters p = CatalogueModelParameters(CameraModel(0));
    p.type = type;
    return p;
}

// Pixels along a row, as a sweep over an image visits them.
template <class Model> void PixelToRay(benchmark::State& state, const Model& m, double width) {
    double x = 0.0;
    const double step = width / 611.0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(m.PixelToRay({x, 700.0}));
        x = x < width ? x + step : 0.0;
    }
}

template <class Model> void PointToPixel(benchmark::State& state, const Model& m) {
    std::vector<CPoint3D> points;
    for (int i = 0; i < 64; ++i) {
        const auto ray = m.PixelToRay({i * 16.0, 300.0 + i * 5.0});
        points.push_back(ray->origin + ray->direction * (2.0 + i));
    }
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(m.PointToPixel(points[i]));
        i = (i + 1) % points.size();
    }
}

void BM_CahvPixelToRay(benchmark::State& s) {
    PixelToRay(s, CameraModelCahv(OppyNavLeft(ModelType::Cahv)), 1024);
}
void BM_CahvPointToPixel(benchmark::State& s) {
    PointToPixel(s, CameraModelCahv(OppyNavLeft(ModelType::Cahv)));
}
void BM_CahvorPixelToRay(benchmark::State& s) {
    PixelToRay(s, CameraModelCahvor(OppyNavLeft(ModelType::Cahvor)), 1024);
}
// Through the variant type every caller holds.
void BM_CahvorPixelToRayAnyModel(benchmark::State& s) {
    PixelToRay(s, *MakeCameraModel(OppyNavLeft(ModelType::Cahvor)).model, 1024);
}
void BM_CahvorPointToPixel(benchmark::State& s) {
    PointToPixel(s, CameraModelCahvor(OppyNavLeft(ModelType::Cahvor)));
}
void BM_CahvorePixelToRay(benchmark::State& s) {
    PixelToRay(s, CameraModelCahvore(M20Navcam()), 5120);
}
void BM_CahvorePixelToRayAnyModel(benchmark::State& s) {
    PixelToRay(s, *MakeCameraModel(M20Navcam()).model, 5120);
}
void BM_CahvorePointToPixel(benchmark::State& s) {
    PointToPixel(s, CameraModelCahvore(M20Navcam()));
}
BENCHMARK(BM_CahvPixelToRay);
BENCHMARK(BM_CahvPointToPixel);
BENCHMARK(BM_CahvorPixelToRay);
BENCHMARK(BM_CahvorPixelToRayAnyModel);
BENCHMARK(BM_CahvorPointToPixel);
BENCHMARK(BM_CahvorePixelToRay);
BENCHMARK(BM_CahvorePixelToRayAnyModel);
BENCHMARK(BM_CahvorePointToPixel);

// The main intersection and its eight one-pixel perturbations, each casting
// both rays afresh, with a right camera 42 cm to the right.
void BM_CahvoreNineIntersections(benchmark::State& state) {
    const ProductCameraModel left = *MakeCameraModel(M20Navcam()).model;
    ModelParameters rp = M20Navcam();
    rp.c = rp.c + CPoint3D(0.0, 0.424, 0.0);
    const ProductCameraModel right = *MakeCameraModel(rp).model;
    constexpr double kOffsets[9][4] = {{0, 0, 0, 0},  {-1, 1, 0, 0}, {-1, 1, -1, 1},
                                       {0, 0, -1, 1}, {0, 0, 0, 0},  {1, 1, 0, 0},
                                       {1, 1, 1, 1},  {0, 0, 1, 1},  {0, 0, 0, 0}};
    for (auto _ : state) {
        for (const auto& o : kOffsets) {
            const auto l = left.PixelToRay({2600 + o[0], 2000 + o[1]});
            const auto r = right.PixelToRay({2450 + o[2], 2000 + o[3]});
            benchmark::DoNotOptimize(IntersectRays(*l, *r));
        }
    }
}
BENCHMARK(BM_CahvoreNineIntersections);

} // namespace
