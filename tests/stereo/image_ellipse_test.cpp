// A point's error ellipsoid in an image: against the pinhole's exact answer,
// against a Monte-Carlo cloud through a distorted catalogue camera, and the
// outline drawn from it.
#include "geometry/CatalogueProjection.h"
#include "stereo/ImageEllipse.h"
#include "tests/matching/StereoFixture.h"

#include <gtest/gtest.h>

#include <random>

namespace {

// Covariance with sigma along the unit vector u and sigmaAcross in the plane
// across it.
Covariance3 Elongated(const CPoint3D& u, double sigma, double sigmaAcross) {
    const double v[3] = {u.m_dX, u.m_dY, u.m_dZ};
    Covariance3 c{};
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            c[i][j] = (sigma * sigma - sigmaAcross * sigmaAcross) * v[i] * v[j] +
                      (i == j ? sigmaAcross * sigmaAcross : 0.0);
        }
    }
    return c;
}

} // namespace

TEST(ImageEllipse, APinholeGivesTheFocalLengthOverDepthAlongTheRightAxis) {
    const PinholeCamera camera({0, 0, 0}, 800.0, 160.0, 120.0);
    // Spread along y only (image rows), at 5 m: 800 / 5 * 0.01 = 1.6 pixels.
    Covariance3 c{};
    c[1][1] = 0.01 * 0.01;
    const ImageEllipseResult r = ProjectErrorEllipse(camera, {0, 0, 5}, c);
    ASSERT_TRUE(r.ok) << r.message;
    EXPECT_NEAR(r.ellipse.centrePx.x, 160.0, 1e-9);
    EXPECT_NEAR(r.ellipse.semiMajorPx, 1.6, 1e-6);
    EXPECT_NEAR(r.ellipse.semiMinorPx, 0.0, 1e-6);
    EXPECT_NEAR(std::abs(std::sin(r.ellipse.majorAngleRad)), 1.0, 1e-9) << "along the rows";
    // Spread along the line of sight hardly shows at the image centre.
    const ImageEllipseResult along =
        ProjectErrorEllipse(camera, {0, 0, 5}, Elongated({0, 0, 1}, 0.5, 0.0));
    ASSERT_TRUE(along.ok);
    EXPECT_LT(along.ellipse.semiMajorPx, 1e-6);
    // Behind the camera there is nothing to draw.
    EXPECT_FALSE(ProjectErrorEllipse(camera, {0, 0, -5}, c).ok);
}

TEST(ImageEllipse, ADistortedCatalogueCameraAgreesWithAMonteCarloCloudAndTheOutlineIsOneSigma) {
    const auto id = ParseCameraId("OppyNavL");
    ASSERT_TRUE(id);
    CataloguePose pose;
    pose.pose = CameraPose{30.0, -25.0, CQuat()};
    pose.applyPointing = true;
    const CatalogueProjection camera(*id, pose);
    // A point off-centre (where the distortion is strongest) 4 m away, its
    // spread long along the line of sight as a stereo point's is.
    const Ray ray = *camera.PixelToRay({900, 850});
    const CPoint3D point = ray.origin + ray.direction.Normalized() * 4.0;
    const CPoint3D across = Cross(ray.direction, CPoint3D(0, 0, 1)).Normalized();
    const Covariance3 c =
        Elongated((ray.direction.Normalized() + across * 0.4).Normalized(), 0.08, 0.004);
    const ImageEllipseResult r = ProjectErrorEllipse(camera, point, c);
    ASSERT_TRUE(r.ok) << r.message;
    EXPECT_NEAR(r.ellipse.centrePx.x, 900.0, 0.01);
    EXPECT_NEAR(r.ellipse.centrePx.y, 850.0, 0.01);

    // Cholesky of c, then a cloud of projected samples.
    double l[3][3] = {};
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j <= i; ++j) {
            double s = c[i][j];
            for (int k = 0; k < j; ++k) {
                s -= l[i][k] * l[j][k];
            }
            l[i][j] = i == j ? std::sqrt(s) : s / l[j][j];
        }
    }
    std::mt19937 rng(7);
    std::normal_distribution<double> n01;
    constexpr int kSamples = 20000;
    double sum[2] = {};
    double sum2[2][2] = {};
    for (int s = 0; s < kSamples; ++s) {
        const double z[3] = {n01(rng), n01(rng), n01(rng)};
        const CPoint3D q = point + CPoint3D(l[0][0] * z[0], l[1][0] * z[0] + l[1][1] * z[1],
                                            l[2][0] * z[0] + l[2][1] * z[1] + l[2][2] * z[2]);
        const auto p = camera.PointToPixel(q);
        ASSERT_TRUE(p);
        const double v[2] = {p->x, p->y};
        for (int i = 0; i < 2; ++i) {
            sum[i] += v[i];
            for (int j = 0; j < 2; ++j) {
                sum2[i][j] += v[i] * v[j];
            }
        }
    }
    const double scale = r.ellipse.semiMajorPx * r.ellipse.semiMajorPx;
    ASSERT_GT(r.ellipse.semiMajorPx, 1.0) << "a spread that shows";
    for (int i = 0; i < 2; ++i) {
        for (int j = 0; j < 2; ++j) {
            const double mc =
                sum2[i][j] / kSamples - sum[i] * sum[j] / (double(kSamples) * kSamples);
            EXPECT_NEAR(r.ellipse.covariancePx2[i][j], mc, 0.05 * scale) << i << j;
        }
    }

    // Every outline point lies on the 1-sigma contour of the covariance.
    const auto& m = r.ellipse.covariancePx2;
    const double det = m[0][0] * m[1][1] - m[0][1] * m[1][0];
    const ImagePoint mark{901, 851};
    const auto outline = EllipseOutline(r.ellipse, mark, 36);
    ASSERT_EQ(outline.size(), 36u);
    for (const ImagePoint& q : outline) {
        const double dx = q.x - mark.x;
        const double dy = q.y - mark.y;
        const double d2 = (m[1][1] * dx * dx - 2 * m[0][1] * dx * dy + m[0][0] * dy * dy) / det;
        EXPECT_NEAR(d2, 1.0, 1e-6);
    }
}
