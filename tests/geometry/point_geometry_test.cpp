// Distance, slope and bearing between two points with their sigmas, and the
// plane through three or more points.
#include "geometry/PointGeometry.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace {

Covariance3 Isotropic(double sigma) {
    Covariance3 c{};
    for (int i = 0; i < 3; ++i) {
        c[i][i] = sigma * sigma;
    }
    return c;
}

} // namespace

TEST(PointGeometry, DistanceSlopeAndBearingFollowTheAzimuthConvention) {
    const Covariance3 none{};
    // From the origin 3 m along +X, 4 m toward -Y and 5 m up.
    const auto r = ComparePoints({1, 1, 1}, none, {4, -3, 6}, none);
    EXPECT_NEAR(r.distanceM.value, std::sqrt(50.0), 1e-12);
    EXPECT_NEAR(r.horizontalDistanceM.value, 5.0, 1e-12);
    EXPECT_NEAR(r.heightDifferenceM.value, 5.0, 1e-12);
    EXPECT_NEAR(r.slopeDeg.value, 45.0, 1e-12);
    // Clockwise seen from above: toward -Y is a positive bearing.
    EXPECT_NEAR(r.bearingDeg.value, std::atan2(4.0, 3.0) * 180 / M_PI, 1e-12);
    EXPECT_NEAR(ComparePoints({0, 0, 0}, none, {0, 2, 0}, none).bearingDeg.value, -90.0, 1e-12);
    EXPECT_NEAR(ComparePoints({0, 0, 0}, none, {0, 0, -2}, none).slopeDeg.value, -90.0, 1e-12);
    EXPECT_EQ(r.distanceM.sigma, 0.0);
}

TEST(PointGeometry, SigmasMatchAMonteCarloOfTheTwoPoints) {
    const CPoint3D a{2, 1, 0.2};
    const CPoint3D b{3.5, -0.5, 0.9};
    Covariance3 ca = Isotropic(0.01);
    ca[0][0] = 0.03 * 0.03;
    const Covariance3 cb = Isotropic(0.02);
    const auto r = ComparePoints(a, ca, b, cb);
    std::mt19937 random(7);
    std::normal_distribution<double> n(0.0, 1.0);
    double s[5] = {};
    const int draws = 20000;
    for (int k = 0; k < draws; ++k) {
        const CPoint3D pa{a.m_dX + 0.03 * n(random), a.m_dY + 0.01 * n(random),
                          a.m_dZ + 0.01 * n(random)};
        const CPoint3D pb{b.m_dX + 0.02 * n(random), b.m_dY + 0.02 * n(random),
                          b.m_dZ + 0.02 * n(random)};
        const auto q = ComparePoints(pa, {}, pb, {});
        const double d[5] = {q.distanceM.value - r.distanceM.value,
                             q.horizontalDistanceM.value - r.horizontalDistanceM.value,
                             q.heightDifferenceM.value - r.heightDifferenceM.value,
                             q.slopeDeg.value - r.slopeDeg.value,
                             q.bearingDeg.value - r.bearingDeg.value};
        for (int i = 0; i < 5; ++i) {
            s[i] += d[i] * d[i];
        }
    }
    const double sigma[5] = {r.distanceM.sigma, r.horizontalDistanceM.sigma,
                             r.heightDifferenceM.sigma, r.slopeDeg.sigma, r.bearingDeg.sigma};
    for (int i = 0; i < 5; ++i) {
        EXPECT_NEAR(sigma[i] / std::sqrt(s[i] / draws), 1.0, 0.05) << "quantity " << i;
    }
}

TEST(PointGeometry, PlaneFitGivesDipDirectionDownhillAndTheRms) {
    // Ground falling 1 m per 2 m toward +X (dip atan(0.5)), downhill bearing 0,
    // with points alternately 1 cm above and below.
    std::vector<CPoint3D> pts;
    const double tilt = std::atan(0.5);
    const double off = 0.01 / std::cos(tilt); // vertical offset of a 1 cm normal distance
    int k = 0;
    for (double x = 0; x < 3; x += 1) {
        for (double y = -1; y <= 1; y += 1) {
            pts.push_back({x, y, -0.5 * x + ((k++ % 2) ? off : -off)});
        }
    }
    pts.push_back({1.5, 0.5, -0.75}); // keep the offsets balanced: on the plane
    auto fit = FitPlane(pts);
    ASSERT_TRUE(fit.ok) << fit.message;
    EXPECT_NEAR(fit.dipDeg, tilt * 180 / M_PI, 0.5);
    EXPECT_NEAR(fit.dipDirectionDeg, 0.0, 0.5);
    EXPECT_NEAR(fit.rmsDistanceM, 0.01 * std::sqrt(9.0 / 10.0), 2e-3);
    EXPECT_GE(fit.normal.m_dZ, 0.0);
    // Turn the ground to fall toward +Y: the dip direction is -90.
    for (CPoint3D& p : pts) {
        p = {-p.m_dY, p.m_dX, p.m_dZ};
    }
    fit = FitPlane(pts);
    ASSERT_TRUE(fit.ok);
    EXPECT_NEAR(fit.dipDirectionDeg, -90.0, 0.5);
}

TEST(PointGeometry, PlaneFitRefusesTooFewAndCollinearPoints) {
    EXPECT_FALSE(FitPlane({{0, 0, 0}, {1, 1, 1}}).ok);
    EXPECT_FALSE(FitPlane({{0, 0, 0}, {1, 1, 1}, {2, 2, 2}, {3, 3, 3}}).ok);
    const auto vertical = FitPlane({{0, 0, 0}, {0, 1, 0}, {0, 0, 1}});
    ASSERT_TRUE(vertical.ok);
    EXPECT_NEAR(vertical.dipDeg, 90.0, 1e-9);
}
