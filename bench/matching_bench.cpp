// Cost of assisted matching, one core: one auto-match on a 1024 x 1024 sample
// pair, on a real 1288 x 968 Navcam pair and on a synthetic 5120 x 3840 pair,
// one epipolar curve, and detecting and matching 200 vertex pairs on the
// 1024 x 1024 pair and on the real one.
#include "geometry/CatalogueProjection.h"
#include "matching/Corners.h"
#include "matching/Epipolar.h"
#include "matching/GreyImageFile.h"
#include "matching/Matcher.h"
#include "samplegen/SamplePairs.h"
#include "tests/matching/RealPairs.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <random>

namespace {

CatalogueProjection ProjectionOf(const PosedCamera& camera) {
    CataloguePose pose;
    pose.pose = PoseOf(camera.Record());
    pose.applyPointing = true;
    return CatalogueProjection(camera.Model().m_nCameraId, pose);
}

// The Opportunity Navcam sample pair as the measurement poses it.
struct NavcamPair {
    SamplePairDefinition def = SamplePairDefinitions().front();
    SamplePair pair = BuildSamplePair(def);
    CatalogueProjection left = ProjectionOf(pair.left);
    CatalogueProjection right = ProjectionOf(pair.right);
    GreyImage leftImage = Read(def.leftTitle);
    GreyImage rightImage = Read(def.rightTitle);

    GreyImage Read(const std::string& title) const {
        return ReadGreyImage(std::string(RANVISTA_SOURCE_DIR) + "/samples/" + def.folder + "/" +
                             title + ".png")
            .image;
    }
};

const NavcamPair& Navcam() {
    static const NavcamPair pair;
    return pair;
}

// Textured ground at 2 to 8 m.
const ImagePoint kGroundPixels[] = {{600, 900}, {420, 820}, {700, 700}, {300, 620},
                                    {820, 880}, {520, 560}, {150, 950}, {900, 640}};

void BM_AutoMatch1024(benchmark::State& state) {
    const NavcamPair& p = Navcam();
    const StereoMatcher matcher(p.leftImage, p.rightImage, p.left, p.right);
    size_t i = 0;
    int ok = 0;
    for (auto _ : state) {
        const MatchResult m =
            matcher.Match(Eye::Left, kGroundPixels[i++ % std::size(kGroundPixels)]);
        ok += m.ok ? 1 : 0;
        benchmark::DoNotOptimize(m);
    }
    state.counters["matched"] = benchmark::Counter(ok, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_AutoMatch1024)->Unit(benchmark::kMillisecond);

void BM_EpipolarCurve1024(benchmark::State& state) {
    const NavcamPair& p = Navcam();
    size_t i = 0;
    size_t points = 0;
    for (auto _ : state) {
        const EpipolarCurveResult c = EpipolarCurve(
            p.left, p.right, kGroundPixels[i++ % std::size(kGroundPixels)], 1024, 1024);
        points += c.points.size();
        benchmark::DoNotOptimize(c);
    }
    state.counters["points"] =
        benchmark::Counter(static_cast<double>(points), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_EpipolarCurve1024)->Unit(benchmark::kMillisecond);

void BM_AutoDetect200(benchmark::State& state) {
    const NavcamPair& p = Navcam();
    const StereoMatcher matcher(p.leftImage, p.rightImage, p.left, p.right);
    DetectResult last;
    for (auto _ : state) {
        last = DetectVertexPairs(matcher, {0, 0, 1024, 1024}, {200});
        benchmark::DoNotOptimize(last);
    }
    state.counters["found"] = last.found;
    state.counters["matched"] = last.matched;
}
BENCHMARK(BM_AutoDetect200)->Unit(benchmark::kMillisecond);

// The real Navcam pair from near ground to the hills (its cameras are the
// products' own models).
const real_pairs::RealPair& RealNavcam() {
    static const real_pairs::RealPair pair =
        *real_pairs::LoadRealPair(real_pairs::RealPairList()[0]);
    return pair;
}

// One auto-match an iteration, at the pixels in turn; the share matched.
template <std::size_t N>
void MatchInTurn(benchmark::State& state, const StereoMatcher& matcher,
                 const ImagePoint (&pixels)[N]) {
    size_t i = 0;
    int ok = 0;
    for (auto _ : state) {
        const MatchResult m = matcher.Match(Eye::Left, pixels[i++ % N]);
        ok += m.ok ? 1 : 0;
        benchmark::DoNotOptimize(m);
    }
    state.counters["matched"] = benchmark::Counter(ok, benchmark::Counter::kAvgIterations);
}

void BM_AutoMatchReal1288x968(benchmark::State& state) {
    const real_pairs::RealPair& p = RealNavcam();
    const StereoMatcher matcher(p.left, p.right, *p.leftCamera, *p.rightCamera);
    // Ground from about 6 to 30 m, and a rock.
    const ImagePoint pixels[] = {{208, 624}, {656, 880}, {1008, 752}, {432, 912},
                                 {880, 944}, {304, 816}, {1104, 848}, {560, 720}};
    MatchInTurn(state, matcher, pixels);
}
BENCHMARK(BM_AutoMatchReal1288x968)->Unit(benchmark::kMillisecond);

void BM_AutoDetect200Real(benchmark::State& state) {
    const real_pairs::RealPair& p = RealNavcam();
    const StereoMatcher matcher(p.left, p.right, *p.leftCamera, *p.rightCamera);
    DetectResult last;
    for (auto _ : state) {
        last = DetectVertexPairs(matcher, {0, 480, p.left.width, p.left.height - 480}, {200});
        benchmark::DoNotOptimize(last);
    }
    state.counters["found"] = last.found;
    state.counters["matched"] = last.matched;
}
BENCHMARK(BM_AutoDetect200Real)->Unit(benchmark::kMillisecond);

// Parallel pinhole cameras 0.3 m apart with a 5000-pixel focal length
// looking at a textured plane 10 m away: the right image is the left one
// moved 150 pixels, and the searched curve runs from 0.5 m (3000 pixels of
// disparity) to infinity.
class Pinhole : public ICameraProjection {
public:
    Pinhole(double x, double f, double cx, double cy) : m_x(x), m_f(f), m_cx(cx), m_cy(cy) {}
    std::optional<Ray> PixelToRay(const ImagePoint& p) const override {
        return Ray{{m_x, 0, 0}, CPoint3D((p.x - m_cx) / m_f, (p.y - m_cy) / m_f, 1.0).Normalized()};
    }
    std::optional<ImagePoint> PointToPixel(const CPoint3D& q) const override {
        if (!(q.m_dZ > 0.0)) {
            return std::nullopt;
        }
        return ImagePoint{m_f * (q.m_dX - m_x) / q.m_dZ + m_cx, m_f * q.m_dY / q.m_dZ + m_cy};
    }

private:
    double m_x, m_f, m_cx, m_cy;
};

struct LargePair {
    static constexpr int kWidth = 5120;
    static constexpr int kHeight = 3840;
    static constexpr int kDisparity = 150;
    Pinhole left{0.0, 5000.0, kWidth / 2.0, kHeight / 2.0};
    Pinhole right{0.3, 5000.0, kWidth / 2.0, kHeight / 2.0};
    GreyImage leftImage;
    GreyImage rightImage;

    LargePair() {
        // Smooth random texture: a coarse random grid, bilinearly interpolated,
        // plus a finer one.
        const int wide = kWidth + kDisparity;
        std::mt19937 rng(7);
        std::uniform_int_distribution<int> value(0, 255);
        const auto grid = [&](int step) {
            const int gw = wide / step + 2;
            const int gh = kHeight / step + 2;
            std::vector<float> g(static_cast<size_t>(gw) * gh);
            for (float& v : g) {
                v = static_cast<float>(value(rng));
            }
            return std::pair{g, gw};
        };
        const auto [coarse, cw] = grid(8);
        const auto [fine, fw] = grid(3);
        const auto sample = [](const std::vector<float>& g, int gw, int step, int x, int y) {
            const int gx = x / step;
            const int gy = y / step;
            const float fx = static_cast<float>(x % step) / step;
            const float fy = static_cast<float>(y % step) / step;
            const auto at = [&](int i, int j) { return g[static_cast<size_t>(j) * gw + i]; };
            const float a = at(gx, gy) + fx * (at(gx + 1, gy) - at(gx, gy));
            const float b = at(gx, gy + 1) + fx * (at(gx + 1, gy + 1) - at(gx, gy + 1));
            return a + fy * (b - a);
        };
        std::vector<uint8_t> scene(static_cast<size_t>(wide) * kHeight);
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < wide; ++x) {
                scene[static_cast<size_t>(y) * wide + x] = static_cast<uint8_t>(
                    0.7f * sample(coarse, cw, 8, x, y) + 0.3f * sample(fine, fw, 3, x, y));
            }
        }
        // Left pixel x shows the scene at x; right pixel x at x + disparity,
        // so a point's partner lies 150 pixels to the left in the right image.
        leftImage = GreyImage::FromGrey8(scene.data(), kWidth, kHeight, wide);
        rightImage = GreyImage::FromGrey8(scene.data() + kDisparity, kWidth, kHeight, wide);
    }
};

void BM_AutoMatch5120x3840(benchmark::State& state) {
    static const LargePair p;
    const StereoMatcher matcher(p.leftImage, p.rightImage, p.left, p.right);
    const ImagePoint pixels[] = {{3000, 1900}, {4000, 1000}, {3500, 3000}, {4500, 2500}};
    MatchInTurn(state, matcher, pixels);
}
BENCHMARK(BM_AutoMatch5120x3840)->Unit(benchmark::kMillisecond);

} // namespace
