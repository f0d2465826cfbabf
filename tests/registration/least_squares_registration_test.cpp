// Least-squares registration over vertex pairs and the flagging of outliers.
#include "registration/LeastSquaresRegistration.h"
#include "registration/Registration.h"
#include "tests/registration/RigidScenes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace {

void Split(const Scene& scene, const std::vector<IndexPair>& pairs, std::vector<CPoint3D>& s,
           std::vector<CPoint3D>& r) {
    s.clear();
    r.clear();
    for (const IndexPair& p : pairs) {
        s.push_back(scene.source[p.source]);
        r.push_back(scene.reference[p.reference]);
    }
}

double QuatNorm(const CQuat& q) {
    return std::sqrt(q.m_dS * q.m_dS + Dot(q.m_ptVec, q.m_ptVec));
}

} // namespace

TEST(LeastSquaresRegistration, NoisyPairsRecoverTheMotionWithinTheNoisesExpectedError) {
    std::mt19937 rng(17);
    for (int trial = 0; trial < 40; ++trial) {
        SceneRecipe recipe;
        recipe.rocks = 10 + static_cast<size_t>(trial) * 5;
        recipe.noiseM = 0.01 + 0.001 * (trial % 41);
        const Scene scene = MakeScene(recipe, rng);
        std::vector<CPoint3D> s, r;
        Split(scene, scene.truePairs, s, r);
        const LeastSquaresResult fit = RegisterLeastSquares(s, r);
        ASSERT_TRUE(fit.Ok()) << fit.message;
        // Both files are noisy; the fit spreads 6 degrees of freedom of that
        // noise over the points.
        const double noiseDiff = recipe.noiseM * std::sqrt(2.0);
        const double expected = noiseDiff * std::sqrt(6.0 / static_cast<double>(s.size()));
        EXPECT_LT(MotionErrorM(fit.motion, scene.motion, s), 3.0 * expected) << "trial " << trial;
        EXPECT_NEAR(QuatNorm(fit.motion.rotation), 1.0, 1e-12);
        EXPECT_GE(fit.motion.rotation.m_dS, 0.0);
        // The reported residuals are the distances the motion leaves.
        ASSERT_EQ(fit.residualsM.size(), s.size());
        double sum2 = 0.0;
        for (size_t i = 0; i < s.size(); ++i) {
            EXPECT_NEAR(fit.residualsM[i], (fit.motion.Apply(s[i]) - r[i]).Length(), 1e-12);
            sum2 += fit.residualsM[i] * fit.residualsM[i];
        }
        EXPECT_NEAR(fit.rmsM, std::sqrt(sum2 / static_cast<double>(s.size())), 1e-12);
        EXPECT_NEAR(fit.rmsM, noiseDiff * std::sqrt(3.0), noiseDiff * 1.5);
        EXPECT_FALSE(fit.nearlyCollinear);
    }
}

TEST(LeastSquaresRegistration, ExactThreePairsGiveTheThreePointRegistrationsMotion) {
    std::mt19937 rng(3);
    std::uniform_real_distribution<double> c(-20.0, 20.0);
    for (int trial = 0; trial < 200; ++trial) {
        const TrueMotion m = TrueMotion::Random(rng);
        PointTriple s;
        for (CPoint3D& p : s) {
            p = {c(rng), c(rng), c(rng)};
        }
        if (IsDegenerateTriple(s)) {
            continue;
        }
        const PointTriple r = {m(s[0]), m(s[1]), m(s[2])};
        const LeastSquaresResult fit =
            RegisterLeastSquares({s.begin(), s.end()}, {r.begin(), r.end()});
        ASSERT_TRUE(fit.Ok());
        // The three-point transform's own mapping of a vertex.
        const Registration reg = RegisterThreePoints(s, r);
        const CPoint3D cS = TripleCentroid(s);
        const double n2 = reg.q.m_dS * reg.q.m_dS + Dot(reg.q.m_ptVec, reg.q.m_ptVec);
        const CPoint3D t = (cS - RotateVector(cS, reg.q) / n2) + reg.offset;
        for (int k = 0; k < 10; ++k) {
            const CPoint3D p{c(rng), c(rng), c(rng)};
            EXPECT_LT((fit.motion.Apply(p) - (RotateVector(p, reg.q) + t)).Length(), 1e-9)
                << "trial " << trial;
        }
        EXPECT_LT(fit.rmsM, 1e-9);
    }
}

TEST(LeastSquaresRegistration, PlanarPairsGiveARotationNotAMirror) {
    // Points in one plane leave the cross-covariance rank two: without the
    // reflection guard the closed form may return a mirror image.
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> c(-10.0, 10.0);
    for (int trial = 0; trial < 50; ++trial) {
        const TrueMotion m = TrueMotion::Random(rng);
        std::vector<CPoint3D> s, r;
        for (int k = 0; k < 6; ++k) {
            s.push_back({c(rng), c(rng), 0.0});
            r.push_back(m(s.back()));
        }
        const LeastSquaresResult fit = RegisterLeastSquares(s, r);
        ASSERT_TRUE(fit.Ok());
        EXPECT_LT(fit.rmsM, 1e-9);
        EXPECT_LT(MotionErrorM(fit.motion, m, {{1, 2, 3}, {-4, 5, 6}}), 1e-9);
    }
    // A mirrored copy cannot be reached: the fit stays a rotation and says
    // so through its residuals.
    std::vector<CPoint3D> s = {{0, 0, 0}, {4, 0, 0}, {0, 3, 0}, {0, 0, 2}};
    std::vector<CPoint3D> mirrored;
    for (const CPoint3D& p : s) {
        mirrored.push_back({-p.m_dX, p.m_dY, p.m_dZ});
    }
    const LeastSquaresResult fit = RegisterLeastSquares(s, mirrored);
    ASSERT_TRUE(fit.Ok());
    EXPECT_NEAR(QuatNorm(fit.motion.rotation), 1.0, 1e-12);
    EXPECT_GT(fit.rmsM, 0.5);
}

TEST(LeastSquaresRegistration, CollinearPairsAreRefusedAndNearlyCollinearOnesWarned) {
    const std::vector<CPoint3D> line = {{0, 0, 0}, {1, 1, 1}, {2, 2, 2}, {5, 5, 5}};
    LeastSquaresResult fit = RegisterLeastSquares(line, line);
    EXPECT_EQ(fit.status, LeastSquaresResult::Status::kCollinear);
    EXPECT_FALSE(fit.message.empty());
    const std::vector<CPoint3D> same = {{1, 2, 3}, {1, 2, 3}, {1, 2, 3}};
    EXPECT_EQ(RegisterLeastSquares(same, same).status, LeastSquaresResult::Status::kCollinear);

    // 5 cm off a 10 m line: registered, with the warning.
    const std::vector<CPoint3D> thin = {{0, 0, 0}, {5, 0, 0.05}, {10, 0, 0}, {7, 0.04, 0}};
    fit = RegisterLeastSquares(thin, thin);
    ASSERT_TRUE(fit.Ok());
    EXPECT_TRUE(fit.nearlyCollinear);
    EXPECT_LT(fit.spreadRatio, kNearlyCollinearSpread);
    EXPECT_NE(fit.warning.find("collinear"), std::string::npos);

    const std::vector<CPoint3D> wide = {{0, 0, 0}, {5, 0, 1}, {10, 0, 0}, {7, 4, 0}};
    fit = RegisterLeastSquares(wide, wide);
    EXPECT_FALSE(fit.nearlyCollinear);
    EXPECT_TRUE(fit.warning.empty());
}

TEST(LeastSquaresRegistration, TooFewMismatchedOrNonFinitePairsAreRefused) {
    const std::vector<CPoint3D> two = {{0, 0, 0}, {1, 0, 0}};
    EXPECT_EQ(RegisterLeastSquares(two, two).status, LeastSquaresResult::Status::kTooFewPairs);
    const std::vector<CPoint3D> three = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    EXPECT_EQ(RegisterLeastSquares(three, two).status, LeastSquaresResult::Status::kTooFewPairs);
    std::vector<CPoint3D> bad = three;
    bad[1].m_dY = std::nan("");
    EXPECT_EQ(RegisterLeastSquares(three, bad).status, LeastSquaresResult::Status::kNotFinite);
}

TEST(OutlierPairs, GrossOutliersAreFlaggedAndDroppingThemRecoversTheMotion) {
    std::mt19937 rng(11);
    for (int trial = 0; trial < 20; ++trial) {
        SceneRecipe recipe;
        recipe.rocks = 20 + static_cast<size_t>(trial) * 9;
        recipe.noiseM = 0.01 + 0.002 * trial;
        recipe.grossOutliers = 0.10;
        recipe.onlyInOne = 0.015 * trial;
        const Scene scene = MakeScene(recipe, rng);
        std::vector<IndexPair> pairs = scene.truePairs;
        pairs.insert(pairs.end(), scene.outlierPairs.begin(), scene.outlierPairs.end());
        std::vector<CPoint3D> s, r;
        Split(scene, pairs, s, r);
        std::vector<size_t> expected;
        for (size_t k = scene.truePairs.size(); k < pairs.size(); ++k) {
            expected.push_back(k);
        }
        EXPECT_EQ(FlagOutlierPairs(s, r), expected) << "trial " << trial;

        Split(scene, scene.truePairs, s, r);
        const LeastSquaresResult fit = RegisterLeastSquares(s, r);
        const double bound = 3.0 * recipe.noiseM * std::sqrt(2.0 * 6.0 / double(s.size()));
        EXPECT_LT(MotionErrorM(fit.motion, scene.motion, s), bound);
    }
}

TEST(OutlierPairs, ExactPairsFlagNothingAndTooFewPairsAreNotJudged) {
    const TrueMotion m{{1, 2, 3}, 0.7, {4, -5, 6}};
    std::vector<CPoint3D> s = {{0, 0, 0},  {4, 0, 0},  {0, 3, 0},  {0, 0, 2},   {5, 5, 5},
                               {-3, 2, 7}, {6, -2, 1}, {2, 8, -3}, {-5, -5, 0}, {1, 1, 9}};
    std::vector<CPoint3D> r;
    for (const CPoint3D& p : s) {
        r.push_back(m(p));
    }
    // Rounding noise alone is no outlier.
    EXPECT_TRUE(FlagOutlierPairs(s, r).empty());
    r[4] = r[4] + CPoint3D{0.3, 0, 0};
    EXPECT_EQ(FlagOutlierPairs(s, r), std::vector<size_t>{4});
    s.resize(4);
    r.resize(4);
    r[1] = r[1] + CPoint3D{2, 0, 0};
    EXPECT_TRUE(FlagOutlierPairs(s, r).empty());
}
