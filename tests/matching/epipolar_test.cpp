// The epipolar curve against a dense projection of the ray, on pinhole
// cameras and on a posed catalogue camera pair (with distortion).
#include "geometry/CatalogueProjection.h"
#include "matching/Epipolar.h"
#include "tests/matching/StereoFixture.h"

#include <gtest/gtest.h>

namespace {

double DistanceToPolyline(const std::vector<ImagePoint>& line, const ImagePoint& p) {
    double best = 1e300;
    for (size_t i = 0; i + 1 < line.size(); ++i) {
        const ImagePoint& a = line[i];
        const ImagePoint& b = line[i + 1];
        const double dx = b.x - a.x;
        const double dy = b.y - a.y;
        const double l2 = dx * dx + dy * dy;
        const double u =
            l2 > 0.0 ? std::clamp(((p.x - a.x) * dx + (p.y - a.y) * dy) / l2, 0.0, 1.0) : 0.0;
        best = std::min(best, std::hypot(a.x + u * dx - p.x, a.y + u * dy - p.y));
    }
    return best;
}

// Every point of the ray between near and far that shows in the image lies
// within tolerance of the polyline, and every vertex lies on the true curve.
void ExpectCurveFollowsTheRay(const ICameraProjection& from, const ICameraProjection& to,
                              const ImagePoint& pixel, int w, int h,
                              const EpipolarCurveResult& curve) {
    ASSERT_TRUE(curve.ok) << curve.reason;
    ASSERT_GE(curve.points.size(), 2u);
    const Ray ray = *from.PixelToRay(pixel);
    const double nearS = 1.0 / curve.distancesM.front();
    for (int k = 0; k <= 20000; ++k) {
        const double s = nearS * k / 20000.0; // inverse distance, 0 = infinity
        const double t = s > 0.0 ? 1.0 / s : 1e9;
        const auto p = to.PointToPixel(ray.origin + ray.direction.Normalized() * t);
        if (!p || p->x < -0.5 || p->y < -0.5 || p->x > w - 0.5 || p->y > h - 0.5) {
            continue;
        }
        if (t > curve.distancesM.back() * 1.0001) {
            continue;
        }
        EXPECT_LT(DistanceToPolyline(curve.points, *p), 0.1 + 1e-6) << "at " << t << " m";
    }
    for (size_t i = 0; i < curve.points.size(); ++i) {
        const double t = std::isinf(curve.distancesM[i]) ? 1e9 : curve.distancesM[i];
        const auto p = to.PointToPixel(ray.origin + ray.direction.Normalized() * t);
        ASSERT_TRUE(p);
        EXPECT_LT(std::hypot(p->x - curve.points[i].x, p->y - curve.points[i].y), 1e-6);
    }
}

TEST(EpipolarCurve, OnPinholeCamerasRunsFromTheNearLimitToTheVanishingPointWithTrueTicks) {
    const StereoScene scene(640, 480, 4.0);
    const ImagePoint pixel{200.0, 300.0};
    const EpipolarCurveResult curve = EpipolarCurve(scene.left, scene.right, pixel, 640, 480);
    ExpectCurveFollowsTheRay(scene.left, scene.right, pixel, 640, 480, curve);
    // The vanishing point of a ray of parallel cameras is the same pixel.
    EXPECT_TRUE(curve.reachesVanishingPoint);
    EXPECT_NEAR(curve.points.back().x, pixel.x, 1e-3);
    EXPECT_NEAR(curve.points.back().y, pixel.y, 1e-3);
    // Ticks are at 1, 2, 5, 10 ... m from the origin, increasing, each where
    // the ray's point at that range appears.
    ASSERT_GE(curve.ticks.size(), 4u);
    const Ray ray = *scene.left.PixelToRay(pixel);
    for (size_t i = 0; i < curve.ticks.size(); ++i) {
        const EpipolarTick& t = curve.ticks[i];
        if (i > 0) {
            EXPECT_GT(t.rangeM, curve.ticks[i - 1].rangeM);
        }
        const double mantissa = t.rangeM / std::pow(10.0, std::floor(std::log10(t.rangeM)));
        EXPECT_TRUE(std::abs(mantissa - 1) < 1e-9 || std::abs(mantissa - 2) < 1e-9 ||
                    std::abs(mantissa - 5) < 1e-9);
        // On a camera at the origin range is distance along the ray.
        const auto p = scene.right.PointToPixel(ray.origin + ray.direction * t.rangeM);
        EXPECT_NEAR(p->x, t.pixel.x, 1e-9);
        EXPECT_NEAR(p->y, t.pixel.y, 1e-9);
    }
    // 0.5 m is nearer than the image shows here: the curve starts at the border.
    EXPECT_GT(curve.distancesM.front(), 0.5);
    EXPECT_NEAR(curve.points.front().x, -0.5, 1e-2);
}

TEST(EpipolarCurve, ACurveLeavingTheImageEndsAtTheBorderAndANearLimitIsHonoured) {
    const StereoScene scene(640, 480, 4.0);
    // Seen from the right camera, the far end of a left-image ray lies to the
    // right of the pixel: near the right border it leaves the image.
    const ImagePoint pixel{630.0, 240.0};
    const EpipolarCurveResult fromRight = EpipolarCurve(scene.right, scene.left, pixel, 640, 480);
    ExpectCurveFollowsTheRay(scene.right, scene.left, pixel, 640, 480, fromRight);
    EXPECT_TRUE(fromRight.reachesVanishingPoint);

    EpipolarOptions far;
    far.nearM = 20.0;
    const EpipolarCurveResult curve =
        EpipolarCurve(scene.left, scene.right, {320, 240}, 640, 480, far);
    ASSERT_TRUE(curve.ok);
    EXPECT_NEAR(curve.distancesM.front(), 20.0, 1e-9);
    EXPECT_GT(curve.ticks.front().rangeM, 19.9);
}

TEST(EpipolarCurve, FailsWithAReasonWhenTheRayIsNowhereInTheOtherImage) {
    const StereoScene scene(640, 480, 4.0);
    // A camera looking the other way sees none of the ray.
    const PinholeCamera behind({0.2, 0.0, 0.0}, 800.0, 320.0, 240.0);
    class Backward : public ICameraProjection {
    public:
        std::optional<Ray> PixelToRay(const ImagePoint&) const override { return std::nullopt; }
        std::optional<ImagePoint> PointToPixel(const CPoint3D& p) const override {
            if (p.m_dZ >= 0.0) {
                return std::nullopt;
            }
            return ImagePoint{-800.0 * p.m_dX / p.m_dZ + 320.0, 800.0 * p.m_dY / p.m_dZ + 240.0};
        }
    } backward;
    const EpipolarCurveResult none = EpipolarCurve(scene.left, backward, {320, 240}, 640, 480);
    EXPECT_FALSE(none.ok);
    EXPECT_FALSE(none.reason.empty());
    EXPECT_TRUE(none.points.empty());
    const EpipolarCurveResult noRay = EpipolarCurve(backward, scene.left, {320, 240}, 640, 480);
    EXPECT_FALSE(noRay.ok);
}

TEST(EpipolarCurve, OnAPosedCatalogueNavcamPairStaysWithinATenthOfAPixelOfTheDistortedCurve) {
    CataloguePose pose;
    pose.pose = CameraPose{30.0, -25.0, CQuat()};
    pose.applyPointing = true;
    const auto left = ParseCameraId("OppyNavL");
    const auto right = ParseCameraId("OppyNavR");
    ASSERT_TRUE(left && right);
    const CatalogueProjection l(*left, pose);
    const CatalogueProjection r(*right, pose);
    for (const ImagePoint pixel :
         {ImagePoint{512, 700}, ImagePoint{60, 950}, ImagePoint{1000, 80}}) {
        const EpipolarCurveResult curve = EpipolarCurve(l, r, pixel, 1024, 1024);
        ExpectCurveFollowsTheRay(l, r, pixel, 1024, 1024, curve);
        // The projection is the inverse of the ray casting.
        const Ray ray = *l.PixelToRay(pixel);
        const auto back = l.PointToPixel(ray.origin + ray.direction * 7.0);
        ASSERT_TRUE(back);
        EXPECT_NEAR(back->x, pixel.x, 1e-6);
        EXPECT_NEAR(back->y, pixel.y, 1e-6);
    }
}

} // namespace
