// Least-squares registration over many pairs and the automatic search for
// vertex pairs between two files of the same scene.
#include "registration/Correspondence.h"
#include "registration/LeastSquaresRegistration.h"
#include "tests/registration/RigidScenes.h"

#include <benchmark/benchmark.h>

#include <random>

namespace {

// Target: 10,000 pairs in 5 ms or less.
void BM_LeastSquaresRegistration(benchmark::State& state) {
    std::mt19937 rng(1);
    const TrueMotion m = TrueMotion::Random(rng);
    std::uniform_real_distribution<double> c(-30.0, 30.0);
    std::normal_distribution<double> noise(0.0, 0.03);
    std::vector<CPoint3D> s, r;
    for (int64_t k = 0; k < state.range(0); ++k) {
        s.push_back({c(rng), c(rng), c(rng)});
        r.push_back(m(s.back()) + CPoint3D{noise(rng), noise(rng), noise(rng)});
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(RegisterLeastSquares(s, r));
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_LeastSquaresRegistration)->Arg(10000)->Unit(benchmark::kMillisecond);

// Target: two files of 500 vertices in 1 s or less. 20 % of the rocks are
// in one file only and 10 % of the common ones are grossly mismeasured.
void BM_AutomaticCorrespondences(benchmark::State& state) {
    std::mt19937 rng(2);
    SceneRecipe recipe;
    recipe.rocks = static_cast<size_t>(state.range(0));
    recipe.noiseM = 0.03;
    recipe.onlyInOne = 0.2;
    recipe.grossOutliers = 0.1;
    const Scene scene = MakeScene(recipe, rng);
    CorrespondenceOptions options;
    options.toleranceM = 0.18;
    size_t pairs = 0;
    for (auto _ : state) {
        const CorrespondenceResult found =
            FindCorrespondences(scene.source, scene.reference, options);
        pairs = found.pairs.size();
        benchmark::DoNotOptimize(found);
    }
    state.counters["pairs"] = static_cast<double>(pairs);
    state.counters["true_pairs"] = static_cast<double>(scene.truePairs.size());
}
BENCHMARK(BM_AutomaticCorrespondences)->Arg(500)->Arg(2000)->Unit(benchmark::kMillisecond);

} // namespace
