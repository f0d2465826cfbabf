// The dense range map of a real Mars 2020 Navcam pair (a crop of both
// images with their records, the models shifted to fit): dense points agree
// with auto-matched measurements of the same pixels, the ground near the
// rover lies at the height measurements give, and the maps and picture
// of the pair behave at its borders.
#include "geometry/Frames.h"
#include "imagedb/ImageDatabase.h"
#include "matching/GreyImageFile.h"
#include "matching/Matcher.h"
#include "stereo/CalcInput.h"
#include "stereo/DenseRange.h"
#include "stereo/PairProjections.h"
#include "stereo/RangeCalc.h"
#include "stereo/StereoImage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

const std::string kDir = std::string(RANVISTA_SOURCE_DIR) + "/tests/stereo/data/m20-navcam-crop/";
const std::string kLeft = kDir + "NLF_1110_0765465872_675ECM_N0512578NCAM13109_04_195J.png";
const std::string kRight = kDir + "NRF_1110_0765465872_675ECM_N0512578NCAM13109_04_195J.png";

struct RealPair {
    ImageDatabase db;
    PairProjectionsResult cameras;
    GreyImage left, right;
    std::shared_ptr<const StereoRectification> rect;
    DenseResult dense;
};

const RealPair& Pair() {
    static const RealPair* pair = [] {
        auto* p = new RealPair;
        const RangeCalcInput in = MakeRangeCalcInput({}, kLeft, kRight, {}, {}, {}, p->db);
        p->cameras = MakePairProjections(in);
        EXPECT_TRUE(p->cameras.ok) << p->cameras.reason;
        EXPECT_TRUE(p->cameras.productModels);
        p->left = ReadGreyImage(kLeft).image;
        p->right = ReadGreyImage(kRight).image;
        p->rect = std::make_shared<const StereoRectification>(p->cameras.left, p->cameras.right,
                                                              p->left.width, p->left.height,
                                                              p->right.width, p->right.height);
        EXPECT_EQ(p->rect->Problem(), "");
        p->dense = ComputeDenseRange(p->rect, p->left, p->right);
        EXPECT_TRUE(p->dense.ok) << p->dense.problem;
        return p;
    }();
    return *pair;
}

RangeCalcResult Measure(const RealPair& p, const ImagePoint& l, const ImagePoint& r) {
    return CalculateRange(MakeRangeCalcInput({}, kLeft, kRight, l, r, {}, p.db));
}

TEST(DenseReal, DensePointsAgreeWithMatchedMeasurementsWithinTheirOnePixelSpread) {
    const RealPair& p = Pair();
    ASSERT_TRUE(p.dense.ok);
    EXPECT_GT(p.dense.map.Summary().validFraction, 0.6);
    const StereoMatcher matcher(p.left, p.right, *p.cameras.left, *p.cameras.right);
    int compared = 0, agreed = 0, partnersClose = 0;
    for (int y = 20; y < p.left.height - 20; y += 23) {
        for (int x = 20; x < p.left.width - 20; x += 29) {
            const ImagePoint l{double(x), double(y)};
            const MatchResult m = matcher.Match(Eye::Left, l);
            const auto d = p.dense.map.At(l);
            if (!m.ok || !d) {
                continue;
            }
            const RangeCalcResult clicked = Measure(p, l, m.pixel);
            ASSERT_TRUE(clicked.bOk);
            ++compared;
            const double diff = d->range - clicked.dRange;
            agreed += diff >= -clicked.dRangeSpreadBelow && diff <= clicked.dRangeSpreadAbove;
            partnersClose += std::hypot(d->right.x - m.pixel.x, d->right.y - m.pixel.y) <= 1.0;
            // The same two pixels measured give the dense point itself.
            if (compared % 10 == 0) {
                const RangeCalcResult same = Measure(p, l, d->right);
                ASSERT_TRUE(same.bOk);
                EXPECT_LT((same.ptPosition - d->position).Length(), 1e-3 * same.dRange)
                    << x << "," << y;
            }
        }
    }
    std::printf("%d matched pixels compared, %d within the 1-pixel spread, %d partners within "
                "1 px\n",
                compared, agreed, partnersClose);
    EXPECT_GT(compared, 150);
    EXPECT_GE(agreed, 0.95 * compared);
    EXPECT_GE(partnersClose, 0.95 * compared);
}

TEST(DenseReal, HoverReadoutPartnerAndSigmaAreConsistent) {
    const RealPair& p = Pair();
    ASSERT_TRUE(p.dense.ok);
    const DenseRangeMap& map = p.dense.map;
    int checked = 0;
    for (int y = 10; y < map.Height(); y += 37) {
        for (int x = 10; x < map.Width(); x += 41) {
            const auto d = map.At({double(x), double(y)});
            if (!d) {
                EXPECT_FALSE(map.Partner({double(x), double(y)}).has_value() &&
                             !std::isnan(map.RangeAt(x, y)));
                continue;
            }
            ++checked;
            EXPECT_NEAR(d->range, map.RangeAt(x, y), 1e-3 * d->range);
            const auto partner = map.Partner(d->left);
            ASSERT_TRUE(partner);
            EXPECT_LT(std::hypot(partner->x - d->right.x, partner->y - d->right.y), 0.05);
            // The range's sigma grows with the range (the square law of stereo).
            EXPECT_GT(d->rangeSigma, 0.0);
            EXPECT_LT(d->rangeSigma, 0.1 * d->range);
        }
    }
    EXPECT_GT(checked, 50);
    // Outside the image there is nothing, not a crash.
    EXPECT_FALSE(map.At({-1, 5}));
    EXPECT_FALSE(map.At({5, 1e9}));
    EXPECT_FALSE(map.Partner({-1e6, 5}));
}

TEST(DenseReal, NearGroundLiesAtTheMeasuredHeightAndMaxRangeDropsFarPoints) {
    const RealPair& p = Pair();
    ASSERT_TRUE(p.dense.ok);
    // The bottom rows: ground 5 to 7 m from the rover. In the rover frame
    // (the output frame without the vehicle's attitude and the Y/Z flip)
    // its dense height agrees within 0.1 m with the heights that matched
    // and measured pixels of the same rows give (the terrain slopes away:
    // it lies about half a metre below the rover's origin here).
    const CQuat attitude{0.631222, {0.054934, 0.0228113, -0.773318}}; // the records'
    const StereoMatcher matcher(p.left, p.right, *p.cameras.left, *p.cameras.right);
    std::vector<double> dense, measured;
    for (int y = p.left.height - 30; y < p.left.height - 5; ++y) {
        for (int x = 100; x < p.left.width - 20; ++x) {
            const ImagePoint l{double(x), double(y)};
            const auto d = p.dense.map.At(l);
            if (!d) {
                continue;
            }
            dense.push_back(VehicleFromOutputTurned(d->position, attitude).m_dZ);
            if (x % 37 == 0 && y % 5 == 0) {
                const MatchResult m = matcher.Match(Eye::Left, l);
                const RangeCalcResult r = m.ok ? Measure(p, l, m.pixel) : RangeCalcResult{};
                if (r.bOk) {
                    measured.push_back(VehicleFromOutputTurned(r.ptPosition, attitude).m_dZ);
                }
            }
        }
    }
    ASSERT_GT(dense.size(), 5000u);
    ASSERT_GT(measured.size(), 30u);
    const auto median = [](std::vector<double> v) {
        std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
        return v[v.size() / 2];
    };
    std::printf("near ground, rover-frame z: dense %.3f m, measured %.3f m\n", median(dense),
                median(measured));
    EXPECT_LT(std::abs(median(dense) - median(measured)), 0.1);

    DenseOptions capped;
    capped.maxRangeM = 10.0;
    const DenseResult near = ComputeDenseRange(p.rect, p.left, p.right, capped);
    ASSERT_TRUE(near.ok);
    EXPECT_LE(near.map.Summary().rangePercentiles[4], 10.0);
    EXPECT_LT(near.map.Summary().valid, p.dense.map.Summary().valid);
}

TEST(DenseReal, BadInputIsRefusedWithAReason) {
    const RealPair& p = Pair();
    // Images of another size than the cameras were set up for.
    GreyImage small = p.left;
    small.width = 10;
    small.height = 10;
    small.samples.resize(100);
    const DenseResult wrong = ComputeDenseRange(p.rect, small, p.right);
    EXPECT_FALSE(wrong.ok);
    EXPECT_NE(wrong.problem, "");
    // The same camera for both eyes: no baseline.
    const StereoRectification same(p.cameras.left, p.cameras.left, 640, 360, 640, 360);
    EXPECT_NE(same.Problem(), "");
    EXPECT_FALSE(
        ComputeDenseRange(std::make_shared<const StereoRectification>(same), p.left, p.right).ok);
    // Left and right swapped.
    const StereoRectification swapped(p.cameras.right, p.cameras.left, 640, 360, 640, 360);
    EXPECT_NE(swapped.Problem(), "");
    // Cancelled on the way: no map, and said so.
    DenseOptions cancel;
    cancel.progress = [](double f) { return f < 0.5; };
    const DenseResult stopped = ComputeDenseRange(p.rect, p.left, p.right, cancel);
    EXPECT_FALSE(stopped.ok);
    EXPECT_TRUE(stopped.cancelled);
}

TEST(DenseReal, StereoPicturesPutEachEyeWhereItBelongs) {
    const RealPair& p = Pair();
    const GreyImage l = p.rect->Resample(Eye::Left, p.left);
    const GreyImage r = p.rect->Resample(Eye::Right, p.right);
    const RgbImage ana = MakeStereoImage(l, r, StereoImageMode::Anaglyph);
    ASSERT_EQ(ana.width, l.width);
    const std::vector<uint8_t> l8 = StretchTo8Bit(l), r8 = StretchTo8Bit(r);
    const size_t k = static_cast<size_t>(l.height / 2) * l.width + l.width / 2;
    EXPECT_EQ(ana.rgb[3 * k], l8[k]);
    EXPECT_EQ(ana.rgb[3 * k + 1], r8[k]);
    EXPECT_EQ(ana.rgb[3 * k + 2], r8[k]);
    const RgbImage cross = MakeStereoImage(l, r, StereoImageMode::Cross, 10);
    const RgbImage parallel = MakeStereoImage(l, r, StereoImageMode::Parallel, 10);
    ASSERT_EQ(cross.width, 2 * l.width + 10);
    const int y = l.height / 2, x = l.width / 2;
    const auto at = [](const RgbImage& img, int px, int py) {
        return img.rgb[3 * (static_cast<size_t>(py) * img.width + px)];
    };
    EXPECT_EQ(at(cross, x, y), r8[k]);
    EXPECT_EQ(at(cross, x + l.width + 10, y), l8[k]);
    EXPECT_EQ(at(parallel, x, y), l8[k]);
    EXPECT_EQ(at(parallel, x + l.width + 10, y), r8[k]);
    EXPECT_TRUE(MakeStereoImage(l, GreyImage{}, StereoImageMode::Anaglyph).Empty());
    EXPECT_FALSE(ParseStereoImageMode("sideways"));
}

TEST(DenseReal, PlanesResampledTogetherAreEachPlaneResampledAlone) {
    const RealPair& p = Pair();
    GreyImage dimmed = p.left;
    for (float& v : dimmed.samples) {
        v *= 0.5f;
    }
    const std::vector<GreyImage> both = p.rect->Resample(Eye::Left, {&p.left, &dimmed});
    ASSERT_EQ(both.size(), 2u);
    const auto same = [](const GreyImage& a, const GreyImage& b) {
        return a.width == b.width && a.height == b.height &&
               std::equal(a.samples.begin(), a.samples.end(), b.samples.begin(),
                          [](float x, float y) { return x == y || (x != x && y != y); });
    };
    EXPECT_TRUE(same(both[0], p.rect->Resample(Eye::Left, p.left)));
    EXPECT_TRUE(same(both[1], p.rect->Resample(Eye::Left, dimmed)));
    // A plane of another size gives empty images, as a single one does.
    const GreyImage small = GreyImage::FromGrey8(std::vector<uint8_t>(16, 0).data(), 4, 4);
    const std::vector<GreyImage> refused = p.rect->Resample(Eye::Left, {&p.left, &small});
    EXPECT_TRUE(refused[0].Empty() && refused[1].Empty());
}

} // namespace
