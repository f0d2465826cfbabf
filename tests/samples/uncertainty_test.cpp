// The per-point stereo uncertainty on the shipped sample pairs: the linear
// propagation of a half-pixel click against a Monte-Carlo run of the same
// intersection, and against the errors that rounding the true pixels makes.
#include "imagedb/ImageDatabase.h"
#include "imagedb/StoreTransaction.h"
#include "stereo/CalcInput.h"
#include "stereo/PointUncertainty.h"

#include "tests/samples/SampleFiles.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <random>
#include <sstream>

namespace {

const std::string kSamples = std::string(RANVISTA_SOURCE_DIR) + "/samples/";

using sample_files::ReadTruth;
using sample_files::Truth;

using sample_files::SampleDatabase;

RangeCalcInput InputOf(const Truth& t, const ImagePoint& l, const ImagePoint& r) {
    return MakeRangeCalcInput({}, kSamples + t.left, kSamples + t.right, l, r, {},
                              SampleDatabase());
}

class SampleUncertainty : public testing::TestWithParam<std::string> {};

} // namespace

TEST_P(SampleUncertainty, PropagatedRangeSigmaAgreesWithMonteCarloWithinTenPercent) {
    const auto truth = ReadTruth(GetParam());
    ASSERT_GE(truth.size(), 40u);
    std::mt19937 random(20261209);
    std::normal_distribution<double> click(0.0, 0.5);
    // Every fourth point keeps the run short; 2000 draws give the sample
    // spread to about 1.6 %.
    for (size_t i = 0; i < truth.size(); i += 4) {
        const Truth& t = truth[i];
        const RangeCalcInput in = InputOf(t, t.l, t.r);
        const PointUncertaintyResult u = EstimatePointUncertainty(in);
        ASSERT_TRUE(u.ok) << u.message;
        PairIntersector pair(in);
        const auto centre = pair.Intersect(t.l.x, t.l.y, t.r.x, t.r.y);
        ASSERT_TRUE(centre);
        const CPoint3D los = centre->Normalized();
        double sum = 0.0;
        double sumZ = 0.0;
        int n = 0;
        for (int k = 0; k < 2000; ++k) {
            const auto p = pair.Intersect(t.l.x + click(random), t.l.y + click(random),
                                          t.r.x + click(random), t.r.y + click(random));
            ASSERT_TRUE(p);
            const CPoint3D d = *p - *centre;
            sum += Dot(d, los) * Dot(d, los);
            sumZ += d.m_dZ * d.m_dZ;
            ++n;
        }
        const double mcRange = std::sqrt(sum / n);
        const double mcVertical = std::sqrt(sumZ / n);
        EXPECT_NEAR(u.uncertainty.rangeSigmaM / mcRange, 1.0, 0.10) << GetParam() << " point " << i;
        EXPECT_NEAR(u.uncertainty.verticalSigmaM / mcVertical, 1.0, 0.10)
            << GetParam() << " point " << i;
        // The sample's true pixels are exact: the rays meet.
        ASSERT_TRUE(u.missDistanceM);
        EXPECT_LT(*u.missDistanceM, 1e-4);
    }
}

TEST_P(SampleUncertainty, RoundedPixelErrorsFallInsideThreeSigma) {
    const auto truth = ReadTruth(GetParam());
    size_t inside = 0;
    for (const Truth& t : truth) {
        const ImagePoint l{std::round(t.l.x), std::round(t.l.y)};
        const ImagePoint r{std::round(t.r.x), std::round(t.r.y)};
        const RangeCalcInput in = InputOf(t, l, r);
        const RangeCalcResult calc = CalculateRange(in);
        ASSERT_TRUE(calc.bOk);
        const PointUncertaintyResult u = EstimatePointUncertainty(in);
        ASSERT_TRUE(u.ok);
        const CPoint3D e = calc.ptPosition - t.point;
        const CPoint3D down = CPoint3D(calc.ptPosition.m_dX, calc.ptPosition.m_dY, 0).Normalized();
        const CPoint3D across = Cross(kZAxis, down);
        const bool ok =
            std::abs(Dot(e, calc.ptPosition.Normalized())) <= 3 * u.uncertainty.rangeSigmaM &&
            std::abs(Dot(e, down)) <= 3 * u.uncertainty.downRangeSigmaM &&
            std::abs(Dot(e, across)) <= 3 * u.uncertainty.crossRangeSigmaM &&
            std::abs(e.m_dZ) <= 3 * u.uncertainty.verticalSigmaM;
        inside += ok ? 1 : 0;
    }
    EXPECT_GE(static_cast<double>(inside), 0.99 * static_cast<double>(truth.size()))
        << inside << " of " << truth.size();
}

TEST_P(SampleUncertainty, ASettablePixelSigmaScalesTheSpreadAndLeftOnlyHalvesTheVariance) {
    const Truth t = ReadTruth(GetParam()).front();
    const RangeCalcInput in = InputOf(t, t.l, t.r);
    const auto half = EstimatePointUncertainty(in, {0.5, 0.5});
    const auto one = EstimatePointUncertainty(in, {1.0, 1.0});
    const auto leftOnly = EstimatePointUncertainty(in, {0.5, 0.0});
    const auto rightOnly = EstimatePointUncertainty(in, {0.0, 0.5});
    ASSERT_TRUE(half.ok && one.ok && leftOnly.ok && rightOnly.ok);
    EXPECT_NEAR(one.uncertainty.rangeSigmaM, 2 * half.uncertainty.rangeSigmaM,
                1e-9 + 1e-6 * half.uncertainty.rangeSigmaM);
    // Independent sides: the variances add.
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            EXPECT_NEAR(leftOnly.uncertainty.covarianceM2[i][j] +
                            rightOnly.uncertainty.covarianceM2[i][j],
                        half.uncertainty.covarianceM2[i][j],
                        1e-9 * std::abs(half.uncertainty.covarianceM2[i][i]) + 1e-15);
        }
    }
    // A stereo range is far less certain than the position across the view.
    EXPECT_GT(half.uncertainty.downRangeSigmaM, 3 * half.uncertainty.crossRangeSigmaM);
}

INSTANTIATE_TEST_SUITE_P(Pairs, SampleUncertainty,
                         testing::Values("oppy-navcam", "msl-navcam-a", "oppy-pancam"),
                         [](const testing::TestParamInfo<std::string>& info) {
                             std::string name = info.param;
                             std::erase(name, '-');
                             return name;
                         });
