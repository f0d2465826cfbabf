// Cost of seeing a pair in depth (all cores): rectification plus the dense
// range map of a 1288 x 968 Mars 2020 Navcam pair and of the same pair
// enlarged to 5120 x 3840 (its models scaled with it), the grey and colour
// anaglyphs of the 1288 x 968 pair from its rectification, and one hover
// readout of the map.
// The pair is read from RANVISTA_REAL_PAIRS (default ../shared/real beside
// the source tree); without it these figures are skipped.
#include "geometry/Projection.h"
#include "imagedb/ImageDatabase.h"
#include "matching/GreyImageFile.h"
#include "stereo/DenseRange.h"
#include "stereo/PairProjections.h"
#include "stereo/StereoImage.h"
#include "stereo/StereoRig.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>
#include <random>

namespace {

std::string PairPath(const char* eye) {
    const char* dir = std::getenv("RANVISTA_REAL_PAIRS");
    return (dir ? std::string(dir) : std::string(RANVISTA_SOURCE_DIR) + "/../shared/real") + "/" +
           eye + "_1110_0765465872_675ECM_N0512578NCAM13109_04_195J.png";
}

// A camera whose image is `scale` times larger a side.
class ScaledProjection final : public ICameraProjection {
public:
    ScaledProjection(std::shared_ptr<const ICameraProjection> inner, double scale)
        : m_inner(std::move(inner)), m_scale(scale) {}
    std::optional<Ray> PixelToRay(const ImagePoint& p) const override {
        return m_inner->PixelToRay({(p.x + 0.5) / m_scale - 0.5, (p.y + 0.5) / m_scale - 0.5});
    }
    std::optional<ImagePoint> PointToPixel(const CPoint3D& point) const override {
        const auto p = m_inner->PointToPixel(point);
        if (!p) {
            return p;
        }
        return ImagePoint{(p->x + 0.5) * m_scale - 0.5, (p->y + 0.5) * m_scale - 0.5};
    }

private:
    std::shared_ptr<const ICameraProjection> m_inner;
    double m_scale;
};

GreyImage Enlarge(const GreyImage& img, int scale) {
    GreyImage out;
    out.width = img.width * scale;
    out.height = img.height * scale;
    out.quantum = img.quantum;
    out.samples.resize(static_cast<size_t>(out.width) * out.height);
    for (int y = 0; y < out.height; ++y) {
        const double sy = std::clamp((y + 0.5) / scale - 0.5, 0.0, img.height - 1.001);
        const int iy = static_cast<int>(sy);
        const double fy = sy - iy;
        for (int x = 0; x < out.width; ++x) {
            const double sx = std::clamp((x + 0.5) / scale - 0.5, 0.0, img.width - 1.001);
            const int ix = static_cast<int>(sx);
            const double fx = sx - ix;
            out.samples[static_cast<size_t>(y) * out.width + x] = static_cast<float>(
                (img.At(ix, iy) * (1 - fx) + img.At(ix + 1, iy) * fx) * (1 - fy) +
                (img.At(ix, iy + 1) * (1 - fx) + img.At(ix + 1, iy + 1) * fx) * fy);
        }
    }
    return out;
}

struct RealPair {
    bool ok = false;
    PairProjectionsResult cameras;
    GreyImage left, right;
};

const RealPair& Pair() {
    static const RealPair pair = [] {
        RealPair p;
        const ImageDatabase db;
        p.cameras = StereoRig::Build({PairPath("NLF"), PairPath("NRF"), {}, {}}, db).Cameras();
        const auto l = ReadGreyImage(PairPath("NLF"));
        const auto r = ReadGreyImage(PairPath("NRF"));
        p.ok = p.cameras.ok && l.ok && r.ok;
        p.left = l.image;
        p.right = r.image;
        return p;
    }();
    return pair;
}

std::shared_ptr<const StereoRectification> Rectify(const RealPair& p, int scale, const GreyImage& l,
                                                   const GreyImage& r) {
    std::shared_ptr<const ICameraProjection> left = p.cameras.left, right = p.cameras.right;
    if (scale != 1) {
        left = std::make_shared<const ScaledProjection>(left, scale);
        right = std::make_shared<const ScaledProjection>(right, scale);
    }
    return std::make_shared<const StereoRectification>(left, right, l.width, l.height, r.width,
                                                       r.height);
}

void BM_RectifyAndDense(benchmark::State& state) {
    const RealPair& p = Pair();
    if (!p.ok) {
        state.SkipWithError("the real pair is not there (RANVISTA_REAL_PAIRS)");
        return;
    }
    const int scale = static_cast<int>(state.range(0));
    const GreyImage l = scale == 1 ? p.left : Enlarge(p.left, scale);
    const GreyImage r = scale == 1 ? p.right : Enlarge(p.right, scale);
    double valid = 0.0;
    for (auto _ : state) {
        const auto rect = Rectify(p, scale, l, r);
        const DenseResult d = ComputeDenseRange(rect, l, r);
        valid = d.map.Summary().validFraction;
        benchmark::DoNotOptimize(d.ok);
    }
    state.counters["valid"] = valid;
    state.SetLabel(std::to_string(l.width) + " x " + std::to_string(l.height));
}
BENCHMARK(BM_RectifyAndDense)
    ->Arg(1)
    ->Arg(4)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->UseRealTime();

void BM_Anaglyph(benchmark::State& state) {
    const RealPair& p = Pair();
    if (!p.ok) {
        state.SkipWithError("the real pair is not there (RANVISTA_REAL_PAIRS)");
        return;
    }
    const auto rect = Rectify(p, 1, p.left, p.right);
    for (auto _ : state) {
        const RgbImage a =
            MakeStereoImage(rect->Resample(Eye::Left, p.left), rect->Resample(Eye::Right, p.right),
                            StereoImageMode::Anaglyph);
        benchmark::DoNotOptimize(a.rgb.data());
    }
}
BENCHMARK(BM_Anaglyph)->Unit(benchmark::kMillisecond)->UseRealTime();

// The colour anaglyph as View > Stereo makes it: three planes of each image
// resampled, then combined (the planes here are the grey image tinted).
void BM_ColourAnaglyph(benchmark::State& state) {
    const RealPair& p = Pair();
    if (!p.ok) {
        state.SkipWithError("the real pair is not there (RANVISTA_REAL_PAIRS)");
        return;
    }
    const auto rect = Rectify(p, 1, p.left, p.right);
    const auto tinted = [](const GreyImage& g) {
        ColourPlanes planes{g, g, g};
        for (float& v : planes.green.samples) {
            v *= 0.8f;
        }
        for (float& v : planes.blue.samples) {
            v *= 0.6f;
        }
        return planes;
    };
    const ColourPlanes left = tinted(p.left), right = tinted(p.right);
    for (auto _ : state) {
        const auto resample = [&](Eye eye, const ColourPlanes& c) {
            std::vector<GreyImage> r = rect->Resample(eye, {&c.red, &c.green, &c.blue});
            return ColourPlanes{std::move(r[0]), std::move(r[1]), std::move(r[2])};
        };
        const RgbImage a =
            MakeColourAnaglyph(resample(Eye::Left, left), resample(Eye::Right, right));
        benchmark::DoNotOptimize(a.rgb.data());
    }
}
BENCHMARK(BM_ColourAnaglyph)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_HoverReadout(benchmark::State& state) {
    const RealPair& p = Pair();
    if (!p.ok) {
        state.SkipWithError("the real pair is not there (RANVISTA_REAL_PAIRS)");
        return;
    }
    static const DenseResult d = ComputeDenseRange(Rectify(p, 1, p.left, p.right), p.left, p.right);
    std::mt19937 rng(7);
    for (auto _ : state) {
        const ImagePoint at{double(rng() % 1288), double(rng() % 968)};
        const auto point = d.map.At(at);
        const auto partner = d.map.Partner(at);
        benchmark::DoNotOptimize(point);
        benchmark::DoNotOptimize(partner);
    }
}
BENCHMARK(BM_HoverReadout)->Unit(benchmark::kMicrosecond);

} // namespace
