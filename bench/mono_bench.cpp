// Cost of a range from one image: a click on the ground plane through the
// CAHVORE model of a real Mars 2020 Navcam product (with its 1-sigma), the
// camera built from the product, and a click met with the dense range map of
// its pair. The product is read from the project's test data.
#include "imagedb/ImageDatabase.h"
#include "matching/GreyImageFile.h"
#include "stereo/DenseRange.h"
#include "stereo/MonoRange.h"
#include "stereo/StereoRig.h"

#include <benchmark/benchmark.h>

#include <memory>

namespace {

std::string Product(const char* eye) {
    return std::string(RANVISTA_SOURCE_DIR) + "/tests/matching/data/" + eye +
           "_1110_0765465872_675ECM_N0512578NCAM13109_04_195J.png";
}

void BM_MonoGroundClick(benchmark::State& state) {
    const ImageDatabase db;
    const MonoCamera camera = MakeMonoCamera(Product("NLF"), {}, db);
    if (!camera.camera) {
        state.SkipWithError(camera.problem.c_str());
        return;
    }
    const MonoSurface ground = GroundSurface();
    double x = 100.0;
    for (auto _ : state) {
        const MonoRangeResult r = MeasureOnSurface(*camera.camera, {x, 900.0}, ground);
        benchmark::DoNotOptimize(r.rangeM);
        x = x < 1200.0 ? x + 1.0 : 100.0;
    }
}
BENCHMARK(BM_MonoGroundClick);

void BM_MonoCameraOfProduct(benchmark::State& state) {
    const ImageDatabase db;
    for (auto _ : state) {
        const MonoCamera camera = MakeMonoCamera(Product("NLF"), {}, db);
        benchmark::DoNotOptimize(camera.camera.get());
    }
}
BENCHMARK(BM_MonoCameraOfProduct)->Unit(benchmark::kMicrosecond);

void BM_MonoDenseClick(benchmark::State& state) {
    const ImageDatabase db;
    const StereoRig rig = StereoRig::Build({Product("NLF"), Product("NRF"), {}, {}}, db);
    const auto left = ReadGreyImage(Product("NLF"));
    const auto right = ReadGreyImage(Product("NRF"));
    if (!rig.CanMeasure() || !left.ok || !right.ok) {
        state.SkipWithError("the real pair cannot be read");
        return;
    }
    const auto rect = std::make_shared<const StereoRectification>(
        rig.SharedCamera(Eye::Left), rig.SharedCamera(Eye::Right), left.image.width,
        left.image.height, right.image.width, right.image.height);
    DenseResult dense = ComputeDenseRange(rect, left.image, right.image);
    if (!dense.ok) {
        state.SkipWithError(dense.problem.c_str());
        return;
    }
    const MonoSurface surface = DenseSurface(
        std::make_shared<const DenseRangeMap>(std::move(dense.map)), rig.SharedCamera(Eye::Left));
    const MonoCamera camera = MakeMonoCamera(Product("NLF"), {}, db);
    double x = 100.0;
    for (auto _ : state) {
        const MonoRangeResult r = MeasureOnSurface(*camera.camera, {x, 800.0}, surface);
        benchmark::DoNotOptimize(r.rangeM);
        x = x < 1200.0 ? x + 7.0 : 100.0;
    }
}
BENCHMARK(BM_MonoDenseClick)->Unit(benchmark::kMicrosecond);

} // namespace
